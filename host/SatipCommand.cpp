#include <atomic>
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "feeds/FeedEnumerator.h"
#include "feeds/satip/SATIPFeed.h"
#include "feeds/satip/SatIpCapabilities.h"
#include "feeds/satip/SatIpFeedKind.h"
#include "filter/FeedKindTable.h"
#include "filter/TSFeedInterfaces.h"
#include "host/InFlightWindow.h"
#include "host/StreamCommand.h"
#include "host/SatIpStreamCheck.h"
#include "host/StreamSession.h"
#include "net/NetTrace.h"
#include "net/RtspClient.h"
#include "platform/system/Event.h"

namespace {

using Clock = std::chrono::steady_clock;

// The protocol trace lines would garble a stream written to standard output, and a
// person reading the summary does not want them either.
void DiscardTrace(void*, std::string_view) {}

constexpr double kFirstServerWaitSeconds = 5;
constexpr double kDefaultDiscoverSeconds = 3;
// No byte within this long after the start, or for this long later, ends the run.

std::string SystemsText(uint32_t capabilities) {
    static constexpr std::pair<uint32_t, const char*> kNames[] = {
        {kSatIpCapDvbS2, "DVB-S2"}, {kSatIpCapDvbT, "DVB-T"}, {kSatIpCapDvbT2, "DVB-T2"},
        {kSatIpCapDvbC, "DVB-C"},   {kSatIpCapDvbC2, "DVB-C2"}};
    std::string text;
    for (const auto& [bit, name] : kNames) {
        if (!(capabilities & bit)) continue;
        if (!text.empty()) text += ',';
        text += name;
    }
    return text;
}

std::string AddressText(const NetAddress& address) {
    std::string text;
    FormatNetAddress(address, text, false);
    return text;
}

// The host creates the SAT>IP feed itself (the filter never lists it).
CSATIPFeed* CreateFeed(CFeedEnumerator& enumerator, CFeed** feeds, const std::string& application) {
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    enumerator.Enumerate(feeds, &count, FeedRequest::For({kFeedSatIp}, SatIpApplicationToken(application.c_str())));
    for (uint32_t i = 0; i < count; ++i)
        if (auto* feed = dynamic_cast<CSATIPFeed*>(feeds[i])) return feed;
    return nullptr;
}

// Waits until the discovery lists at least one server, or the time is up.
std::vector<SatIpServer> WaitForServers(CSATIPFeed& feed, double seconds, bool firstIsEnough) {
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<SatIpServer> servers;
    for (;;) {
        std::vector<SatIpServer> now;
        if (feed.Discovery().Servers().Snapshot(now)) servers = std::move(now);
        if ((firstIsEnough && !servers.empty()) || Clock::now() >= end || Interrupted()) return servers;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

class SatipDiscover {
public:
    void Declare(CLI::App& cmd) {
        cmd.add_option("--seconds", seconds_, "How long to listen for servers")
            ->type_name("SECONDS")
            ->check(NumberIn(0.1, 3600, false))
            ->capture_default_str();
        cmd.add_flag("--json", json_, "Print the servers as one JSON array");
    }

    int Run() {
        SetNetTraceSink(&DiscardTrace, nullptr);
        CFeedEnumerator enumerator{ModuleFeedKinds()};
        CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
        CSATIPFeed* feed = CreateFeed(enumerator, feeds, kDefaultApplicationName);
        if (!feed) return Fail("the SAT>IP feed could not be created");
        const std::vector<SatIpServer> servers = WaitForServers(*feed, seconds_, false);
        std::string out = json_ ? "[" : "";
        for (size_t i = 0; i < servers.size(); ++i) {
            const SatIpServer& s = servers[i];
            const std::string name = s.name.empty() ? "SAT>IP Server \"no name\"" : s.name;
            if (json_) {
                out += (i ? "," : "") + std::string("{\"name\":\"") + JsonEscape(name) + "\",\"address\":\"" +
                       AddressText(s.address) + "\",\"tuners\":\"" + SystemsText(s.capabilities) + "\"}";
            } else {
                out += name + "\t" + AddressText(s.address) + "\t" + SystemsText(s.capabilities) + "\n";
            }
        }
        if (json_) out += "]\n";
        std::fputs(out.c_str(), stdout);
        if (servers.empty() && !json_) std::fprintf(stderr, "kestrel: no SAT>IP server found\n");
        return servers.empty() ? kExitNothingReceived : kExitDone;
    }

private:
    double seconds_ = kDefaultDiscoverSeconds;
    bool json_ = false;
};

class SatipPlay final : public StreamCommand {
public:
    SatipPlay() : StreamCommand("satip") { interfaceIsForSending_ = true; }
    ~SatipPlay() override { EndWatch(); }

private:
    void DeclareOwn(CLI::App& cmd) override {
        auto* server = cmd.add_option("--server", server_, "Server address (IPv4)")->type_name("ADDR");
        cmd.add_flag("--first", first_, "The first server discovery finds")->excludes(server);
        cmd.add_option("--mode", mode_, "Delivery: http, unicast (RTSP/RTP) or multicast (RTSP/RTP)")
            ->type_name("MODE")
            ->check(CLI::IsMember({"http", "unicast", "multicast"}));
        cmd.add_option("--system", system_, "Delivery system")
            ->type_name("SYSTEM")
            ->check(CLI::IsMember({"dvbs", "dvbs2", "dvbt", "dvbt2", "dvbc", "dvbc2"}));
        cmd.add_option("--freq", freq_, "Frequency in MHz")->type_name("MHZ")->check(NumberIn(1, 100000, true));
        cmd.add_option("--pol", pol_, "Polarisation (satellite)")->type_name("h|v|l|r")->check(CLI::IsMember({"h", "v", "l", "r"}));
        cmd.add_option("--sr", sr_, "Symbol rate in kS/s (satellite, cable)")->type_name("KSPS")->check(NumberIn(1, 100000, true));
        cmd.add_option("--pids", pids_, "PIDs to ask for: a comma-separated list, all or none")->type_name("LIST|all");
        cmd.add_option("--src", src_, "Signal source (satellite position 1 to 4)")->type_name("N")->check(NumberIn(1, 4, true));
        cmd.add_option("--app", application_, "Application name for the stored feed settings")
            ->type_name("NAME")
            ->capture_default_str();
        cmd.add_flag("--save", save_, "Store the settings given here for later runs");
    }

    bool Open(std::string* error) override {
        SetNetTraceSink(&DiscardTrace, nullptr);
        feed_ = CreateFeed(enumerator_, feeds_, application_);
        if (!feed_) {
            *error = "the SAT>IP feed could not be created";
            return false;
        }
        SatIpSettings s = feed_->Settings();
        if (!server_.empty()) {
            NetAddress address{};
            if (!ParseNetAddress(nullptr, server_, address) || address.family != kNetFamilyIPv4) {
                *error = "--server " + server_ + ": not an IPv4 address";
                return false;
            }
            s.manualSelect = 1;
            s.manualAddress = MakeIPv4Address(NetAddressIPv4(address), 0);
        } else if (first_) {
            const std::vector<SatIpServer> servers = WaitForServers(*feed_, kFirstServerWaitSeconds, true);
            if (servers.empty()) {
                *error = "no SAT>IP server found";
                return false;
            }
            s.manualSelect = 0;
            s.serverHash = servers.front().key;
            s.serverAddress = servers.front().address;
        } else if (!s.manualSelect) {
            // A stored server is chosen by its key: discovery must have seen it.
            WaitForServers(*feed_, kFirstServerWaitSeconds, true);
        }
        if (!mode_.empty())
            s.deliveryMode = mode_ == "http" ? kSatIpDeliveryHttp
                             : mode_ == "multicast" ? kSatIpDeliveryRtspMulticast : kSatIpDeliveryRtspUnicast;
        if (!system_.empty()) {
            const char kind = system_[3];
            const bool second = system_.size() == 5;
            if (kind == 's') {
                s.feedType = kSatIpSatellite;
                if (!second) s.modulationS = 0;
                else if (s.modulationS == 0) s.modulationS = 1;
            } else if (kind == 't') {
                s.feedType = kSatIpTerrestrial;
                s.systemT = second ? 1 : 0;
            } else {
                s.feedType = kSatIpCable;
                s.systemC = second ? 1 : 0;
            }
        }
        if (freq_) {
            if (s.feedType == kSatIpSatellite) s.frequencyS = freq_;
            else if (s.feedType == kSatIpTerrestrial) s.frequencyT = freq_;
            else s.frequencyC = freq_;
        }
        if (!pol_.empty()) s.polarisation = static_cast<uint32_t>(std::string("hvlr").find(pol_[0]));
        if (sr_) (s.feedType == kSatIpCable ? s.symbolRateC : s.symbolRateS) = sr_;
        if (src_) s.signalSource = src_;
        feed_->SetSettings(s);
        if (!pids_.empty() && !feed_->SetPids(pids_)) {
            *error = "--pids " + pids_ + ": not a list of PIDs below 8192, all or none";
            return false;
        }
        if (save_ && !feed_->SaveSettings(application_.c_str())) {
            *error = "the settings could not be stored under " + application_;
            return false;
        }
        serverText_ = AddressText(s.manualSelect ? s.manualAddress : s.serverAddress);
        modeText_ = s.deliveryMode == kSatIpDeliveryHttp ? "http"
                    : s.deliveryMode == kSatIpDeliveryRtspMulticast ? "multicast" : "unicast";
        return true;
    }

    bool Prepare(StreamSession& session, std::string*) override {
        session.SetPacketSize(188);
        session.Control()->SetMode(kModeHostSupplied, nullptr);
        session.Control()->SetDataCallback(&window_, &InFlightWindow::OnSampleOut);
        input_ = session.Input();
        return true;
    }

    // The feed's delivery thread. The filter's queue drops what does not fit, so
    // samples wait here for room instead; the feed's ring and the socket's buffer take
    // up the slack meanwhile.
    static void Deliver(void* context, IMediaSample* sample) {
        auto* self = static_cast<SatipPlay*>(context);
        if (self->window_.Acquire([self] { return self->stopping_.load(); })) self->input_->DeliverSample(sample);
        sample->Release();
    }

    bool Start(StreamSession& session, std::string* error) override {
        feed_->SetCallback(this, &Deliver);
        if (!feed_->Start(0)) {
            *error = StartError();
            return false;
        }
        started_ = Clock::now();
        watch_ = std::thread([this, &session] { Watch(session); });
        return true;
    }

    void Stop(StreamSession&) override {
        stopping_.store(true);
        EndWatch();
        feed_->Stop();
        feed_->SetCallback(nullptr, nullptr);
    }

    bool Finished(const StreamSession&) const override { return lost_.load(std::memory_order_acquire); }
    std::string InputError() const override { return lost_.load(std::memory_order_acquire) ? lostText_ : std::string(); }

    std::vector<RunReport::Field> Status() const override {
        SatIpTunerReport report;
        const bool reported = feed_->TunerReport(report);
        std::vector<RunReport::Field> fields = {RunReport::Lock(reported ? report.lock != 0 : !feed_->NoData())};
        if (reported) {
            fields.push_back(RunReport::Integer("level", report.level));
            fields.push_back(RunReport::Integer("quality", report.quality));
        }
        fields.push_back(RunReport::Text("mode", modeText_));
        fields.push_back(RunReport::Text("server", serverText_));
        return fields;
    }

    std::string StartError() const {
        const std::string server = "SAT>IP server " + serverText_;
        switch (feed_->LastFailure()) {
            case SatIpFailure::NoServer:
                return "no SAT>IP server chosen (use --server ADDR or --first)";
            case SatIpFailure::ManualAddress:
                return "no SAT>IP server address (use --server ADDR)";
            case SatIpFailure::RtspConnect:
                return "no RTSP connection to " + server;
            case SatIpFailure::RtspNoResponse:
                return server + " did not answer " + feed_->LastRtspRequest();
            case SatIpFailure::RtspRefused:
                return server + " refused " + feed_->LastRtspRequest() + ": " +
                       std::to_string(feed_->LastRtspStatus()) + " " + RtspStatusText(feed_->LastRtspStatus());
            case SatIpFailure::MulticastTransport:
                return server + " named no usable multicast group";
            case SatIpFailure::MulticastJoin:
                return "cannot join the multicast group that " + server + " named";
            case SatIpFailure::HttpRefused:
                return server + " refused the HTTP request: status " + std::to_string(feed_->LastHttpStatus());
            case SatIpFailure::HttpConnect:
                return "no HTTP connection to " + server;
            case SatIpFailure::PortPair:
                return "no pair of local UDP ports for RTP";
            default: {
                std::string text = feed_->GetErrorText() ? feed_->GetErrorText() : "the SAT>IP feed did not start";
                while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '!')) text.pop_back();
                return text;
            }
        }
    }

    // Polls the status (which keeps the session alive) and tells a run that gets no
    // data, or stops getting it, from one that streams.
    void Watch(StreamSession& session) {
        std::unique_lock lock(watchLock_);
        while (!watchEnd_) {
            if (std::string trouble = CheckSatIpStream(*feed_, Clock::now() - started_, serverText_); !trouble.empty()) {
                lostText_ = std::move(trouble);
                lost_.store(true, std::memory_order_release);
                session.Wake();
                return;
            }
            watchWake_.wait_for(lock, kSatIpCheckPeriod);
        }
    }

    void EndWatch() {
        {
            std::lock_guard lock(watchLock_);
            watchEnd_ = true;
        }
        watchWake_.notify_all();
        if (watch_.joinable()) watch_.join();
    }

    int Outcome() const override { return kExitDone; }

    std::string server_;
    bool first_ = false;
    std::string mode_, system_, pol_, pids_;
    uint32_t freq_ = 0, sr_ = 0, src_ = 0;
    std::string application_ = kDefaultApplicationName;
    bool save_ = false;
    std::string serverText_, modeText_;

    CFeedEnumerator enumerator_{ModuleFeedKinds()};
    CFeed* feeds_[CFeedEnumerator::kMaxFeeds] = {};
    CSATIPFeed* feed_ = nullptr;

    InFlightWindow window_;
    ITSFeedSampleInput* input_ = nullptr;
    std::atomic<bool> stopping_{false};
    Clock::time_point started_{};
    std::thread watch_;
    std::mutex watchLock_;
    std::condition_variable watchWake_;
    bool watchEnd_ = false;
    std::string lostText_;  // written once, before lost_
    std::atomic<bool> lost_{false};
};

// "satip discover" and "satip play".
class SatipCommand final : public Command {
public:
    void Declare(CLI::App& cmd) override {
        cmd.require_subcommand(1);
        discoverApp_ = cmd.add_subcommand("discover", "List the SAT>IP servers on the network");
        discover_.Declare(*discoverApp_);
        playApp_ = cmd.add_subcommand("play", "Tune a SAT>IP server and stream what it sends");
        play_.Declare(*playApp_);
    }
    std::string Check(const CLI::App&) override { return playApp_->parsed() ? play_.Check(*playApp_) : std::string(); }
    int Run(const GlobalOptions& global) override {
        return playApp_->parsed() ? play_.Run(global) : discover_.Run();
    }
    bool HandlesInterrupt() const override { return true; }

private:
    SatipDiscover discover_;
    SatipPlay play_;
    CLI::App* discoverApp_ = nullptr;
    CLI::App* playApp_ = nullptr;
};

const bool registered = RegisterCommand({55, "satip", "Find SAT>IP servers, or stream from one",
                                         [] { return std::make_unique<SatipCommand>(); }});

}  // namespace
