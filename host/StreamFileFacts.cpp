#include "host/StreamFileFacts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/Command.h"

namespace {

constexpr uint64_t kMeasureSkip = 5'242'880;  // the filter measures only after the first 5 MiB

}  // namespace

std::string StreamFileFacts::UnmeasuredReason() const {
    if (measured) return {};
    if (summary.packetSize == 0) return "it is not a transport stream";
    if (summary.size <= kMeasureSkip)
        return "the measurement reads the 5 MiB that follow the first 5 MiB, and the file has only " +
               std::to_string(summary.size) + " bytes";
    return "there are no two PCRs of one PID, a distinct time apart, in the 5 MiB that follow the first 5 MiB";
}

bool StreamFileFacts::RatesDisagree() const {
    const uint32_t average = summary.AverageBitrate();
    if (!measured || !average) return false;
    const uint32_t difference = measured > average ? measured - average : average - measured;
    return uint64_t{difference} * 10 > average;
}

std::string StreamFileFacts::Refusal() const {
    if (summary.error)
        return "cannot open " + path + ": " +
               (summary.error == ENODEV ? std::string("not a regular file") : std::strerror(summary.error));
    if (summary.size == 0) return path + " is empty";
    if (summary.packetSize == 0)
        return path + " is not a transport stream (no sync bytes 188, 192 or 204 bytes apart in its first 10,240 bytes)";
    return {};
}

StreamFileFacts ExamineStreamFile(const std::string& path) {
    StreamFileFacts facts;
    facts.path = path;
    facts.summary = SummariseStreamFile(path.c_str());
    if (facts.summary.error == 0 && facts.summary.packetSize != 0)
        facts.measured = MeasureFileBitrate(WidenFileName(path).c_str());
    return facts;
}

std::string RateText(uint32_t bitsPerSecond) {
    char text[64];
    std::snprintf(text, sizeof text, "%u bit/s (%.3f Mbit/s)", bitsPerSecond, bitsPerSecond / 1e6);
    return text;
}
