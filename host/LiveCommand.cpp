#include <cstring>

#include "host/FeedTypes.h"
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
        std::vector<RunReport::Field> fields = {RunReport::Lock(control_->IsLocked() != 0)};
        for (RunReport::Field& f : RunReport::Signal(control_->GetSignalLevel())) fields.push_back(std::move(f));
        return fields;
    }
    std::vector<RunReport::Field> Summary() const override { return {RunReport::Text("feed", name_)}; }

    std::string name_;
    ITSFeedControl* control_ = nullptr;
};

const bool registered = RegisterCommand(
    {30, "live", "Live mode: the feed of that display name", [] { return std::make_unique<LiveCommand>(); }});

}  // namespace
