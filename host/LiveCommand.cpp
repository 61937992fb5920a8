#include <cstring>

#include "host/StreamCommand.h"
#include "host/StreamSession.h"

namespace {

// Live mode: the feed the filter lists under that name.
class LiveCommand final : public StreamCommand {
public:
    LiveCommand() : StreamCommand("live") {}

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("NAME", name_, "Display name as 'kestrel feeds' lists it")->type_name("")->required();
    }

    bool Prepare(StreamSession& session, std::string* error) override {
        control_ = session.Control();
        // Without a match the filter would start whatever feed comes first: refuse instead.
        bool found = false;
        for (uint32_t index = 0; index < 256 && !found; ++index) {
            int32_t type;
            const char *feedName, *details;
            if (!control_->GetFeedInfo(index, &type, &feedName, &details)) break;
            found = std::strcmp(feedName, name_.c_str()) == 0;
        }
        if (!found) {
            *error = "no feed is named \"" + name_ + "\" (see 'kestrel feeds')";
            return false;
        }
        control_->SetMode(kModeLiveFeed, name_.c_str());
        return true;
    }

    std::vector<RunReport::Field> Status() const override {
        return {RunReport::Integer("lock", control_->IsLocked()),
                RunReport::Integer("signal", control_->GetSignalLevel())};
    }
    std::vector<RunReport::Field> Summary() const override { return {RunReport::Text("feed", name_)}; }

    std::string name_;
    ITSFeedControl* control_ = nullptr;
};

const bool registered = RegisterCommand(
    {30, "live", "Live mode: the feed of that display name", [] { return std::make_unique<LiveCommand>(); }});

}  // namespace
