#include <cstdio>
#include <string>

#include "host/Command.h"
#include "host/RunReport.h"
#include "host/StreamFileFacts.h"

namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string Hex(uint16_t pid) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", pid);
    return text;
}

// The filter's measurement as it stands, and beside it what the whole file says: the
// two differ for a file whose rate varies, and only the second exists for a short one.
int Measure(const std::string& path, bool json) {
    const StreamFileFacts facts = ExamineStreamFile(path);
    const StreamFileSummary& s = facts.summary;
    if (s.error) return Fail(facts.Refusal());
    const uint32_t average = s.AverageBitrate();
    const std::string unmeasured = facts.UnmeasuredReason();

    if (json) {
        std::string out = "{\"file\":\"" + JsonEscape(path) + "\",\"size\":" + std::to_string(s.size) +
                          ",\"packet_size\":" + std::to_string(s.packetSize) +
                          ",\"bitrate\":" + std::to_string(facts.measured);
        if (facts.measured == 0) out += ",\"bitrate_unmeasured\":\"" + JsonEscape(unmeasured) + "\"";
        out += ",\"average_bitrate\":" + std::to_string(average) + ",\"pcr_seconds\":" + Seconds(s.PcrSeconds()) +
               ",\"pcr_pid\":" + std::to_string(s.pcrPid) + ",\"pcr_count\":" + std::to_string(s.pcrCount) +
               ",\"pcr_discontinuities\":" + std::to_string(s.discontinuities) + "}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        std::string out = path + ": " + std::to_string(s.size) + " bytes";
        if (s.packetSize) out += ", packets of " + std::to_string(s.packetSize) + " bytes";
        out += "\n";
        if (facts.measured)
            out += "  bitrate: " + RateText(facts.measured) +
                   ", measured as the filter does, over one PCR interval after the first 5 MiB\n";
        else if (s.packetSize)
            out += "  bitrate: not measured: " + unmeasured + "\n";
        if (average) {
            out += "  average: " + RateText(average) + " over the whole file, from its first to its last PCR\n";
            out += "  duration: " + Seconds(s.PcrSeconds()) + " s from the first to the last PCR (" +
                   std::to_string(s.pcrCount) + " PCRs on PID " + Hex(s.pcrPid);
            if (s.discontinuities)
                out += ", " + std::to_string(s.discontinuities) + " discontinuities left out";
            out += ")\n";
        } else if (s.packetSize) {
            out += s.pcrCount ? "  average: unknown: the file has only one PCR\n"
                              : "  average: unknown: the file has no PCR\n";
        }
        std::fputs(out.c_str(), stdout);
    }
    // The packet size is something to tell; a file without one is no stream at all.
    return s.packetSize ? kExitDone : Fail(facts.Refusal());
}

class MeasureCommand final : public Command {
    void Declare(CLI::App& cmd) override {
        cmd.add_option("PATH", path_, "Transport-stream file")->type_name("")->required();
        cmd.add_flag("--json", json_, "JSON output");
    }
    int Run(const GlobalOptions&) override { return Measure(path_, json_); }
    std::string path_;
    bool json_ = false;
};

const bool registered = RegisterCommand({60, "measure",
                                         "Packet size, PCR bitrate and the whole file's average rate of a file",
                                         [] { return std::make_unique<MeasureCommand>(); }});

}  // namespace
