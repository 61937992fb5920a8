#include <cstdio>
#include <cstring>

#include "host/BdaLiveFeed.h"
#include "host/FeedTypes.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"
#include "host/TuneOptions.h"

namespace {

// Live mode: the feed the filter lists under that name.
class LiveCommand final : public StreamCommand {
public:
    LiveCommand() : StreamCommand("live") {}

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("NAME", name_, "Display name as 'kestrel feeds' lists it")->type_name("")->required();
        cmd.add_option("--tune", tune_, std::string("Tuning for a BDA tuner, ") + kTuneOptionsHelp)
            ->type_name("KEY=VALUE,...");
        cmd.add_option("--app", application_, "Application name for the stored feed settings")
            ->type_name("NAME")
            ->capture_default_str();
    }

    // A tuner is run here, where its start can be tuned and its error text read.
    bool Open(std::string* error) override {
        tuner_ = bda_.Find(name_, application_);
        if (!tuner_ && !tune_.empty()) {
            *error = "--tune needs a BDA tuner; \"" + name_ + "\" is none (see 'kestrel feeds')";
            return false;
        }
        return !tuner_ || tune_.empty() || bda_.ApplyTuning(tune_, error);
    }

    bool Start(StreamSession& session, std::string* error) override {
        if (!tuner_) return true;
        std::string note;
        if (bda_.Start(session.Input(), error, &note)) return true;
        if (!note.empty()) std::fprintf(stderr, "kestrel: %s\n", note.c_str());
        return false;
    }

    void Stop(StreamSession&) override {
        if (tuner_) bda_.Stop();
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
        session.SetPacketSize(188);
        control_->SetMode(kModeLiveFeed, name_.c_str());
        return true;
    }

    std::vector<RunReport::Field> Status() const override {
        const bool locked = tuner_ ? (bda_.Status() & kStatusLocked) != 0 : control_->IsLocked() != 0;
        std::vector<RunReport::Field> fields = {RunReport::Lock(locked)};
        for (RunReport::Field& f : RunReport::Signal(tuner_ ? bda_.SignalLevel() : control_->GetSignalLevel()))
            fields.push_back(std::move(f));
        return fields;
    }
    std::vector<RunReport::Field> Summary() const override { return {RunReport::Text("feed", name_)}; }

    std::string name_;
    std::string tune_;
    std::string application_ = kDefaultApplicationName;
    ITSFeedControl* control_ = nullptr;
    BdaLiveFeed bda_;
    bool tuner_ = false;
};

const bool registered = RegisterCommand(
    {30, "live", "Live mode: the feed of that display name", [] { return std::make_unique<LiveCommand>(); }});

}  // namespace
