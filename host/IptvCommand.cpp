#include <cstdio>
#include <cstring>

#include "feeds/FeedEnumerator.h"
#include "feeds/iptv/IPTVFeed.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"
#include "net/NetAddress.h"

namespace {

// "192.0.2.1", "2001:db8::1" or "[2001:db8::1]", with or without a port.
bool ParseHostAddress(const std::string& text, NetAddress* address) {
    return ParseNetAddress(nullptr, text, *address) || ParseNetAddress(nullptr, text + ":0", *address) ||
           (text.find(':') != std::string::npos && text.front() != '[' &&
            ParseNetAddress(nullptr, "[" + text + "]:0", *address));
}

void PushIntoFilter(void* context, IMediaSample* sample) {
    static_cast<ITSFeedSampleInput*>(context)->DeliverSample(sample);
    sample->Release();
}

// The host runs the IPTV feed itself (the filter never lists it) and hands its samples
// to the filter in host-supplied mode.
class IptvCommand final : public StreamCommand {
public:
    IptvCommand() : StreamCommand("iptv") { interfaceIsForSending_ = false; }

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("ADDR:PORT", address_, "Group or local unicast address: 239.1.2.3:5000, [ff15::1]:5000")
            ->type_name("")->required();
        cmd.add_option("--source", source_, "Sender for source-specific multicast")->type_name("ADDRESS");
        cmd.add_option("--app", application_, "Application name for the stored feed settings")
            ->type_name("NAME")
            ->capture_default_str();
    }

    bool Open(std::string* error) override {
        NetAddress group{}, interfaceAddress{}, source{};
        if (!ParseNetAddress(nullptr, address_, group) || NetAddressPort(group) == 0) {
            *error = "not an address with a port: \"" + address_ + "\" (use 239.1.2.3:5000 or [ff15::1]:5000)";
            return false;
        }
        if (!interface_.empty() && !ParseHostAddress(interface_, &interfaceAddress)) {
            *error = "not an interface address: \"" + interface_ + "\"";
            return false;
        }
        if (!source_.empty()) {
            if (!ParseHostAddress(source_, &source)) {
                *error = "not a source address: \"" + source_ + "\"";
                return false;
            }
            if (!IsMulticast(group)) {
                *error = "--source needs a multicast group address";
                return false;
            }
            if (source.family != group.family) {
                *error = "the source and the group must both be IPv4 or both IPv6";
                return false;
            }
        }

        uint32_t count = CFeedEnumerator::kMaxFeeds;
        enumerator_.Enumerate(feeds_, &count, false, true, false, 0);
        for (uint32_t i = 0; i < count && !feed_; ++i) {
            if (feeds_[i]->GetType() == kFeedIptv) feed_ = dynamic_cast<CIPTVFeed*>(feeds_[i]);
        }
        if (!feed_) {
            *error = "no IPTV feed is available";
            return false;
        }
        feed_->LoadSettings(application_.c_str());
        feed_->SetGroup(group);
        if (!interface_.empty()) feed_->SetInterface(interfaceAddress);
        if (!source_.empty())
            feed_->SetSource(source);
        else
            feed_->ClearSource();
        return true;
    }

    bool Prepare(StreamSession& session, std::string*) override {
        session.SetPacketSize(188);
        session.Control()->SetMode(kModeHostSupplied, nullptr);
        return true;
    }

    bool Start(StreamSession& session, std::string* error) override {
        feed_->SetCallback(session.Input(), &PushIntoFilter);
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
    std::string application_ = kDefaultApplicationName;
    CFeedEnumerator enumerator_;
    CFeed* feeds_[CFeedEnumerator::kMaxFeeds] = {};
    CIPTVFeed* feed_ = nullptr;
};

const bool registered = RegisterCommand({50, "iptv", "Receive an IPTV stream (UDP or RTP, multicast or unicast)",
                                         [] { return std::make_unique<IptvCommand>(); }});

}  // namespace
