#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "host/BdaLiveFeed.h"
#include "host/FeedTypes.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"
#include "host/TuneOptions.h"
#include "platform/system/Event.h"

namespace {

// How often lock and signal are read while the feed runs.
constexpr DWORD kMonitorMs = 200;
// A switch needs this long after the committed-switch message before the tune.

// Live mode: the feed the filter lists under that name.
class LiveCommand final : public StreamCommand {
public:
    LiveCommand() : StreamCommand("live") {}
    ~LiveCommand() override { StopMonitor(); }

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("NAME", name_, "Display name as 'kestrel feeds' lists it")->type_name("")->required();
        cmd.add_option("--tune", tune_, std::string("Tune the feed first: ") + kTuneOptionsHelp)
            ->type_name("KEY=VALUE,...");
        cmd.add_option("--diseqc", diseqc_, "Send a raw DiSEqC message first, in hexadecimal (e.g. \"E0 10 38 F0\")")
            ->type_name("HEX");
        cmd.add_option("--app", application_, "Application name for a tuner's stored settings")
            ->type_name("NAME")
            ->capture_default_str();
    }

    std::string Check(const CLI::App& cmd) override {
        if (!diseqc_.empty()) {
            std::string error;
            const auto message = ParseDiseqcHex(diseqc_, &error);
            if (!message) return error;
            diseqcBytes_ = *message;
        }
        return StreamCommand::Check(cmd);
    }

    // A tuner is run here, where its start can be tuned and its error text read.
    bool Open(std::string* error) override {
        tuner_ = bda_.Find(name_, application_);
        if (tuner_ && !diseqcBytes_.empty()) {
            *error = "--diseqc needs a card; \"" + name_ + "\" is a BDA tuner";
            return false;
        }
        return !tuner_ || tune_.empty() || bda_.ApplyTuning(tune_, error);
    }

    bool Start(StreamSession& session, std::string* error) override {
        if (!tuner_) return true;
        std::string note;
        started_ = std::chrono::steady_clock::now();
        if (bda_.Start(session.Input(), error, &note)) {
            StartMonitor();
            return true;
        }
        if (!note.empty()) std::fprintf(stderr, "kestrel: %s\n", note.c_str());
        return false;
    }

    bool Prepare(StreamSession& session, std::string* error) override {
        control_ = session.Control();
        if (tuner_) {
            session.SetPacketSize(188);
            control_->SetMode(kModeHostSupplied, nullptr);
            return true;
        }
        // Without a match the filter would start whatever feed comes first: refuse instead.
        bool found = false;
        int32_t type = 0;
        for (uint32_t index = 0; index < 256 && !found; ++index) {
            const char *feedName, *details;
            if (!control_->GetFeedInfo(index, &type, &feedName, &details)) break;
            found = std::strcmp(feedName, name_.c_str()) == 0;
        }
        if (!found) {
            *error = "no feed is named \"" + name_ + "\" (see 'kestrel feeds')";
            return false;
        }
        // Live mode gives a feed no file or address: it would run and deliver nothing.
        if (const char* command = CommandForFeedType(type)) {
            *error = "\"" + name_ + "\" is a " + FeedTypeName(type) + " feed, which needs a source: use 'kestrel " +
                     command + "'";
            return false;
        }
        std::optional<TuneOptions> tuning;
        if (!tune_.empty() && !(tuning = ParseTuneOptions(tune_, type, error))) return false;

        session.SetPacketSize(188);
        control_->SetMode(kModeLiveFeed, name_.c_str());
        started_ = std::chrono::steady_clock::now();
        if (!diseqcBytes_.empty() &&
            !control_->SendDiseqcMessage(diseqcBytes_.data(), static_cast<uint32_t>(diseqcBytes_.size()))) {
            *error = "\"" + name_ + "\" did not take the DiSEqC message";
            return false;
        }
        if (tuning && !Tune(*tuning, error)) return false;
        StartMonitor();
        return true;
    }

    bool Tune(const TuneOptions& tuning, std::string* error) {
        if (!TuneThroughFilter(control_, tuning, name_, tune_, error)) return false;
        started_ = std::chrono::steady_clock::now();
        return true;
    }

    void Stop(StreamSession&) override {
        StopMonitor();
        if (tuner_) bda_.Stop();
    }

    // Lock and signal are read on a thread of their own, so that a slow device never
    // holds up the status line, and every change of the lock is seen.
    void StartMonitor() {
        Sample();
        monitor_ = std::thread([this] {
            while (!stopMonitor_.Wait(kMonitorMs)) Sample();
        });
    }
    void StopMonitor() {
        stopMonitor_.Set();
        if (monitor_.joinable()) monitor_.join();
    }
    void Sample() {
        const bool locked = tuner_ ? (bda_.Status() & kStatusLocked) != 0 : control_->IsLocked() != 0;
        signal_.store(tuner_ ? bda_.SignalLevel() : control_->GetSignalLevel(), std::memory_order_relaxed);
        if (locked != locked_.exchange(locked, std::memory_order_relaxed)) {
            lockChanges_.fetch_add(1, std::memory_order_relaxed);
            if (locked && lockedAfterMs_.load(std::memory_order_relaxed) < 0) {
                const auto since = std::chrono::steady_clock::now() - started_;
                lockedAfterMs_.store(std::chrono::duration_cast<std::chrono::milliseconds>(since).count(),
                                     std::memory_order_relaxed);
            }
        }
    }

    std::vector<RunReport::Field> Status() const override {
        std::vector<RunReport::Field> fields = {RunReport::Lock(locked_.load(std::memory_order_relaxed))};
        for (RunReport::Field& f : RunReport::Signal(signal_.load(std::memory_order_relaxed)))
            fields.push_back(std::move(f));
        return fields;
    }
    std::vector<RunReport::Field> Summary() const override {
        std::vector<RunReport::Field> fields = {RunReport::Text("feed", name_),
                                                RunReport::Integer("lock_changes", lockChanges_.load())};
        if (const int64_t ms = lockedAfterMs_.load(); ms >= 0)
            fields.push_back(RunReport::Number("locked_after", static_cast<double>(ms) / 1000.0));
        return fields;
    }

    std::string name_;
    std::string tune_;
    std::string diseqc_;
    std::vector<uint8_t> diseqcBytes_;
    std::string application_ = kDefaultApplicationName;
    ITSFeedControl* control_ = nullptr;
    BdaLiveFeed bda_;
    bool tuner_ = false;
    std::chrono::steady_clock::time_point started_{};
    std::atomic<bool> locked_{false};
    std::atomic<uint16_t> signal_{0};
    std::atomic<int64_t> lockChanges_{0};
    std::atomic<int64_t> lockedAfterMs_{-1};
    Event stopMonitor_{true, false};
    std::thread monitor_;
};

const bool registered = RegisterCommand(
    {30, "live", "Live mode: the feed of that display name (--tune for tuners)", [] { return std::make_unique<LiveCommand>(); }});

}  // namespace
