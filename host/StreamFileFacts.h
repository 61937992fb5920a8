#pragma once
// What play and measure tell a user about a transport-stream file: the filter's own
// bitrate measurement, and what a walk through the whole file adds to it.
#include <cstdint>
#include <string>

#include "feeds/file/StreamAnalysis.h"

struct StreamFileFacts {
    std::string path;
    StreamFileSummary summary;
    uint32_t measured = 0;  // MeasureFileBitrate, as the filter measures: 0 when it cannot

    // Why the filter's measurement gives nothing; empty when it gives a rate.
    std::string UnmeasuredReason() const;
    // The filter's rate and the whole file's average differ by more than a tenth.
    bool RatesDisagree() const;
    // One line saying why the file cannot be read or is no transport stream; empty
    // when it can be played.
    std::string Refusal() const;
};

// Reads the file: once for the summary and, when it is a transport stream, once more
// for the filter's measurement.
StreamFileFacts ExamineStreamFile(const std::string& path);

// "4136000 bit/s (4.136 Mbit/s)"
std::string RateText(uint32_t bitsPerSecond);
