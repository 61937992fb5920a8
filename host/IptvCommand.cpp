#include <cstdio>
#include <cstring>

#include "feeds/FeedEnumerator.h"
#include "feeds/iptv/IPTVFeed.h"
#include "filter/FeedKindTable.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"
#include "host/FeedPush.h"
#include "host/IptvTarget.h"
#include "host/StreamAddress.h"

namespace {

// The host runs the IPTV feed itself (the filter never lists it) and hands its samples
// to the filter in host-supplied mode. Without ADDR it receives what the settings stored
// for --app name (what 'kestrel configure iptv' saves).
class IptvCommand final : public StreamCommand {
public:
    IptvCommand() : StreamCommand("iptv") { interfaceIsForSending_ = false; }

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("ADDR", address_,
                       "Group or local unicast address with its port: 239.1.2.3:5000, [ff15::1]:5000, "
                       "udp://@239.1.2.3:5000, rtp://@239.1.2.3:5000 (RTP only), udp://10.0.0.1@232.1.1.1:5000 "
                       "(from that source only); none: the stored settings for --app")
            ->type_name("");
        cmd.add_option("--source", source_, "Sender for source-specific multicast")->type_name("ADDRESS");
        cmd.add_option("--app", application_, "Application name for the stored feed settings")
            ->type_name("NAME")
            ->capture_default_str();
    }

    std::string Check(const CLI::App& cmd) override {
        if (std::string error = StreamCommand::Check(cmd); !error.empty()) return error;
        if (address_.empty()) {
            if (!source_.empty() || !interface_.empty()) return "--source and --interface need ADDR";
            return {};
        }
        std::string error;
        auto target = ResolveReceiveTarget(address_, interface_, source_, &error);
        if (!target) return error;
        target_ = *target;
        return {};
    }

    bool Open(std::string* error) override {
        uint32_t count = CFeedEnumerator::kMaxFeeds;
        enumerator_.Enumerate(feeds_, &count, FeedRequest::For({kFeedIptv}));
        for (uint32_t i = 0; i < count && !feed_; ++i) {
            if (feeds_[i]->GetType() == kFeedIptv) feed_ = dynamic_cast<CIPTVFeed*>(feeds_[i]);
        }
        if (!feed_) {
            *error = "no IPTV feed is available";
            return false;
        }
        feed_->LoadSettings(application_.c_str());
        if (address_.empty()) {
            FormatNetAddress(feed_->Settings().group, address_, true);
            return true;
        }
        AimIptvFeed(*feed_, target_);
        return true;
    }

    bool Prepare(StreamSession& session, std::string*) override {
        session.SetPacketSize(188);
        session.Control()->SetMode(kModeHostSupplied, nullptr);
        return true;
    }

    bool Start(StreamSession& session, std::string* error) override {
        feed_->SetCallback(session.Input(), &PushSampleIntoFilter);
        if (feed_->Start(0)) return true;
        const char* text = feed_->GetErrorText();
        *error = "cannot receive " + address_ + ": " + (text ? text : "the feed did not start");
        return false;
    }

    void Stop(StreamSession&) override {
        feed_->Stop();
        feed_->SetCallback(nullptr, nullptr);
    }

    // The feed reports 0xFF while data arrives in sync and 0x0F otherwise; both carry the
    // interface's lock bit, so the host tells them apart by the whole value.
    std::vector<RunReport::Field> Status() const override {
        const uint8_t bits = feed_->GetStatus();
        const bool receiving = bits == CIPTVFeed::kStatusReceiving;
        RunReport::Field status = RunReport::Integer("status", bits);
        status.words = receiving ? "receiving" : "no-data-or-out-of-sync";
        return {RunReport::Lock(receiving), status,
                RunReport::Integer("rtp_lost", static_cast<int64_t>(feed_->RtpLostPackets()))};
    }
    std::vector<RunReport::Field> Summary() const override {
        return {RunReport::Integer("datagrams", static_cast<int64_t>(feed_->DatagramsReceived()))};
    }
    int Outcome() const override {
        if (feed_->DatagramsReceived() > 0) return kExitDone;
        std::fprintf(stderr, "kestrel: warning: nothing was received on %s\n", address_.c_str());
        return kExitNothingReceived;
    }

    std::string address_;
    std::string source_;
    ReceiveTarget target_;
    std::string application_ = kDefaultApplicationName;
    CFeedEnumerator enumerator_{ModuleFeedKinds()};
    CFeed* feeds_[CFeedEnumerator::kMaxFeeds] = {};
    CIPTVFeed* feed_ = nullptr;
};

const bool registered = RegisterCommand({50, "iptv", "Receive an IPTV stream (UDP or RTP, multicast or unicast)",
                                         [] { return std::make_unique<IptvCommand>(); }});

}  // namespace
