#include <cstring>

#include "host/FeedTypes.h"
#include "host/FilterStateFile.h"
#include "host/StreamCommand.h"
#include "host/StreamFileFacts.h"
#include "host/StreamSession.h"

namespace {

constexpr size_t kLivePacketSize = 188;

// Streams from a filter in the state 'kestrel properties' stored: the mode and source
// chosen on the property page.
class RunCommand final : public StreamCommand {
public:
    RunCommand() : StreamCommand("run") {}

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("--state", statePath_, "File the filter's mode and source are kept in (default: " +
                                                  std::string(FilterStateFile::kDefaultName) +
                                                  " in the settings directory)")
            ->type_name("FILE");
    }

    bool Prepare(StreamSession& session, std::string* error) override {
        FilterStateFile state(statePath_);
        bool found = false;
        if (!state.LoadInto(session.Control(), &found, error)) return false;
        if (!found) {
            *error = "no filter state in " + state.Path() + " (choose one with 'kestrel properties')";
            return false;
        }
        uint32_t mode = 0;
        char source[kSourceTextSize] = {};
        session.Control()->GetMode(&mode, source);
        source_ = source;
        mode_ = mode;
        if (mode == kModeFile) {
            std::string path = source_;
            if (const size_t marker = path.find(kFileLoopMarker); marker != std::string::npos) path.resize(marker);
            const StreamFileFacts facts = ExamineStreamFile(path);
            if (std::string refusal = facts.Refusal(); !refusal.empty()) {
                *error = refusal;
                return false;
            }
            session.SetPacketSize(facts.summary.packetSize);
        } else if (mode == kModeLiveFeed) {
            session.SetPacketSize(kLivePacketSize);
        } else {
            // These modes take their data from outside the filter, which run cannot give.
            *error = std::string("the stored state is in ") + (mode == kModePassThrough ? "pass-through" : "host-supplied") +
                     " mode, which needs a source of its own: use 'kestrel " +
                     (mode == kModePassThrough ? "passthrough" : "push") + "'";
            return false;
        }
        // The stored state names the feed; setting the mode starts it, as the filter intends.
        const HRESULT hr = session.Control()->SetMode(mode, source_.c_str());
        if (FAILED(hr)) {
            *error = "the filter refused the stored state (" + ModeName() + " \"" + source_ + "\")";
            return false;
        }
        return true;
    }

    std::string ModeName() const { return mode_ == kModeFile ? "file" : "live"; }

    std::vector<RunReport::Field> Summary() const override {
        return {RunReport::Text("mode", ModeName()), RunReport::Text("source", source_)};
    }

    std::string statePath_;
    std::string source_;
    uint32_t mode_ = 0;
};

const bool registered = RegisterCommand({112, "run", "Stream from the filter in the state 'kestrel properties' stored",
                                         [] { return std::make_unique<RunCommand>(); }});

}  // namespace
