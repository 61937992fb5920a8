#pragma once
// Bitrates as people write them on a command line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// "8000000", "8M", "38.5M", "500k", "1.2G": a decimal number with an optional fraction
// and an optional multiplier (k or K = 1,000, M = 1,000,000, G = 1,000,000,000), in
// bits per second. A fraction finer than one bit is rounded to the nearest bit. Zero,
// signs, exponents, nan, other suffixes and values above 4,294,967,295 are refused
// with one line in `error` saying why.
std::optional<uint32_t> ParseBitrate(std::string_view text, std::string* error);
