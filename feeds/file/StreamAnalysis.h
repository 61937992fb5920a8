#pragma once
// Analysis of raw transport-stream bytes: packet size and the bitrate that the
// stream's own PCRs give.
#include <cstdint>

// The bytes at a file's start from which its packet size is told.
constexpr uint32_t kPacketSizeSniffBytes = 10'240;

// 188, 192 or 204; ties and input without any pair of sync bytes give 204.
uint32_t DetectPacketSize(const uint8_t* data, uint32_t length);

// Bits per second between the first two PCRs of one PID in the 5 MiB that follow the
// file's first 5 MiB; 0 when the file cannot be read or holds no such PCR pair.
// The name is UTF-16; a name whose code units are plain bytes widened one by one
// (as the filter passes its 8-bit source text) is accepted as well.
uint32_t MeasureFileBitrate(const char16_t* path);

// 188, 192 or 204 as DetectPacketSize decides, but 0 when the bytes hold no pair of
// sync bytes at any of the three spacings: then they are no transport stream at all.
uint32_t FindPacketSize(const uint8_t* data, uint32_t length);

// What a walk through a whole file tells about it, for a host that wants more than the
// filter's one-interval measurement.
//
// The packet size comes from the first kPacketSizeSniffBytes, as the file feed sniffs it. The
// walk then goes packet by packet (finding the sync bytes again after damage) and
// follows the PCRs of the first PID that carries one. Each step from one of its PCRs
// to the next adds the bytes between the two packets and the clock between them,
// modulo the PCR's range so that a wrap costs nothing. A step is left out, bytes and
// clock alike, when the later packet flags a discontinuity or the clock goes back,
// stands still or leaps forward by more than a second (ten times the longest PCR
// interval streams may have): a spliced or damaged file then still averages only what
// was played continuously.
struct StreamFileSummary {
    int error = 0;               // errno when the file could not be opened or read; then nothing else is set
    uint64_t size = 0;           // bytes in the file
    uint32_t packetSize = 0;     // 0: no packet size can be found
    uint16_t pcrPid = 0;
    uint64_t pcrCount = 0;       // PCRs seen on pcrPid
    uint64_t pcrBytes = 0;       // bytes of the steps counted
    uint64_t pcrTicks = 0;       // 27 MHz clock of the steps counted
    uint64_t discontinuities = 0;  // steps left out

    // Average bits per second from the first to the last PCR; 0 without a step to count.
    uint32_t AverageBitrate() const;
    double PcrSeconds() const { return static_cast<double>(pcrTicks) / 27e6; }
};

// Reads the whole file once. A path that is not a regular file gives EISDIR for a
// directory and ENODEV for anything else (a FIFO would wait for a writer).
StreamFileSummary SummariseStreamFile(const char* path);
