#include "tools/tsgen/BitrateText.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<uint32_t> ParseBitrate(std::string_view text, std::string* error) {
    const std::string quoted = "'" + std::string(text) + "'";
    auto fail = [&](const std::string& why) -> std::optional<uint32_t> {
        if (error) *error = why;
        return std::nullopt;
    };
    std::string_view number = text;
    unsigned exponent = 0;  // the multiplier's power of ten
    if (!number.empty()) {
        switch (number.back()) {
            case 'k': case 'K': exponent = 3; break;
            case 'M': exponent = 6; break;
            case 'G': exponent = 9; break;
            default: break;
        }
        if (exponent) number.remove_suffix(1);
    }
    const size_t dot = number.find('.');
    const std::string_view whole = number.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : number.substr(dot + 1);
    bool wellFormed = !whole.empty() || !fraction.empty();
    for (char c : whole) wellFormed &= IsDigit(c);
    for (char c : fraction) wellFormed &= IsDigit(c);
    if (!wellFormed)
        return fail(quoted + " is not a bitrate (write bits per second: 8000000, 8M, 38.5M or 500k)");

    // Exact decimal arithmetic: whole digits, then as many fraction digits as the
    // multiplier shifts in, the next one rounding.
    constexpr uint64_t Limit = UINT32_MAX;
    uint64_t value = 0;
    bool tooLarge = false;
    auto shiftIn = [&](char digit) {
        value = value * 10 + static_cast<uint64_t>(digit - '0');
        tooLarge |= value > Limit;
        if (tooLarge) value = Limit + 1;
    };
    for (char c : whole) shiftIn(c);
    for (unsigned k = 0; k < exponent; ++k) shiftIn(k < fraction.size() ? fraction[k] : '0');
    if (fraction.size() > exponent && fraction[exponent] >= '5') ++value;
    if (tooLarge || value > Limit) return fail(quoted + " is above 4294967295 bit/s");
    if (value == 0) return fail(quoted + " is no bitrate: it must be at least 1 bit/s");
    return static_cast<uint32_t>(value);
}
