#include "feeds/bda/BdaFrequencyText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr uint32_t kPerDisplayUnit = 1000;
// Single precision on purpose: the display has always shown 11836500 as 11836.500562.
constexpr float kDisplayScale = 0.001f;
constexpr size_t kEntryLimit = 99;
}  // namespace

std::string FormatBdaFrequency(uint32_t frequency) {
    char text[64];
    if (frequency % kPerDisplayUnit == 0)
        std::snprintf(text, sizeof text, "%u", frequency / kPerDisplayUnit);
    else
        std::snprintf(text, sizeof text, "%f", static_cast<double>(frequency) * static_cast<double>(kDisplayScale));
    return text;
}

uint32_t ParseBdaFrequency(const char* text) {
    if (!text) return 0;
    char entry[kEntryLimit + 1] = {};
    std::strncpy(entry, text, kEntryLimit);
    std::replace(entry, entry + kEntryLimit, ',', '.');
    const double value = std::strtod(entry, nullptr) * 1000.0;
    // Negative, huge or NaN would be undefined as an unsigned word: clamp instead.
    if (!(value > 0)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<uint32_t>::max())) return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(std::trunc(value));
}
