#include <cstdio>
#include <string>

#include "host/Command.h"
#include "host/FeedTypes.h"
#include "host/KestrelModule.h"
#include "host/RunReport.h"
#include "platform/devices/SimulatedCardBackend.h"

namespace {

int ListFeeds(const std::string& modulePath, bool json) {
    KestrelModule module;
    if (!module.Load(modulePath)) return Fail(module.Error());
    ComPtr<IBaseFilter> filter;
    HRESULT hr = module.CreateFilter(&filter);
    if (FAILED(hr)) return Fail("cannot create the filter: " + HResultText(hr));
    ComPtr<ITSFeedControl> control;
    hr = filter.As(IID_ITSFeedControl, &control);
    if (FAILED(hr)) return Fail("the filter does not offer its control interface: " + HResultText(hr));

    std::string out = json ? "[" : "";
    uint32_t listed = 0;
    for (uint32_t index = 0; index < 256; ++index) {
        int32_t type = 0;
        const char* name = nullptr;
        const char* details = nullptr;
        if (!control->GetFeedInfo(index, &type, &name, &details)) break;
        if (json) {
            char head[64];
            std::snprintf(head, sizeof head, "%s{\"index\":%u,\"type\":%d,", listed ? "," : "", index, type);
            out += head;
            out += "\"type_name\":\"" + JsonEscape(FeedTypeName(type)) + "\",";
            out += "\"name\":\"" + JsonEscape(name) + "\",\"details\":\"" + JsonEscape(details) + "\"}";
        } else {
            char line[400];
            std::string kind = FeedTypeName(type) + (" (" + std::to_string(type) + ")");
            std::snprintf(line, sizeof line, "%3u  %-16s  %-40s  %s\n", index, kind.c_str(), name, details);
            out += line;
        }
        ++listed;
    }
    if (json) {
        out += "]\n";
    } else if (listed == 0) {
        out = "no feeds found\n";
    }
    std::fputs(out.c_str(), stdout);
    // A card left out for a bad line would otherwise just be missing from the list.
    if (const std::string problem = SimulatedCardBackend::Instance().DeclarationProblem(); !problem.empty())
        std::fprintf(stderr, "kestrel: %s\n", problem.c_str());
    return 0;
}

class FeedsCommand final : public Command {
    void Declare(CLI::App& cmd) override { cmd.add_flag("--json", json_, "JSON output"); }
    int Run(const GlobalOptions& global) override { return ListFeeds(global.modulePath, json_); }
    bool json_ = false;
};

const bool registered =
    RegisterCommand({0, "feeds", "List the filter's feeds", [] { return std::make_unique<FeedsCommand>(); }});

}  // namespace
