#include <cstring>

#include "host/Commands.h"
#include "host/RunReport.h"
#include "host/StreamSession.h"

int RunLiveCommand(const StreamOptions& options, const std::string& name) {
    StreamSession session;
    std::string error;
    if (!session.Create(options, &error)) return Fail(error);
    ITSFeedControl* control = session.Control();

    // Without a match the filter would start whatever feed comes first: refuse instead.
    bool found = false;
    for (uint32_t index = 0; index < 256 && !found; ++index) {
        int32_t type;
        const char *feedName, *details;
        if (!control->GetFeedInfo(index, &type, &feedName, &details)) break;
        found = std::strcmp(feedName, name.c_str()) == 0;
    }
    if (!found) return Fail("no feed is named \"" + name + "\" (see 'kestrel feeds')");
    control->SetMode(kModeLiveFeed, name.c_str());
    if (!session.Run(&error)) return Fail(error);

    auto status = [control] {
        return std::vector<RunReport::Field>{RunReport::Integer("lock", control->IsLocked()),
                                             RunReport::Integer("signal", control->GetSignalLevel())};
    };
    RunReport report("live", [&] { return session.BytesOut(); }, status);
    report.Start();
    WaitWhile(session, options.seconds, [] { return false; });
    std::vector<RunReport::Field> last = status();
    session.Stop();
    control->SetMode(kModeHostSupplied, nullptr);
    report.Finish();
    last.push_back(RunReport::Text("feed", name));
    report.PrintSummary(options.json, last);
    if (session.OutputFailed()) return Fail(session.OutputError());
    return 0;
}
