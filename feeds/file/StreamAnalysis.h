#pragma once
// Analysis of raw transport-stream bytes: packet size and the bitrate that the
// stream's own PCRs give.
#include <cstdint>

// 188, 192 or 204; ties and input without any pair of sync bytes give 204.
uint32_t DetectPacketSize(const uint8_t* data, uint32_t length);

// Bits per second between the first two PCRs of one PID in the 5 MiB that follow the
// file's first 5 MiB; 0 when the file cannot be read or holds no such PCR pair.
// The name is UTF-16; a name whose code units are plain bytes widened one by one
// (as the filter passes its 8-bit source text) is accepted as well.
uint32_t MeasureFileBitrate(const char16_t* path);
