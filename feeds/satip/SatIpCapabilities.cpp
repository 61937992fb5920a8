#include "feeds/satip/SatIpCapabilities.h"

#include <climits>
#include <optional>
#include <string>

namespace {

constexpr const char* kCapabilityElement = "satip:X_SATIPCAP";

struct SystemPrefix {
    const char* prefix;
    uint32_t bit;
};
constexpr SystemPrefix kPrefixes[] = {
    {"DVBS2-", kSatIpCapDvbS2}, {"DVBT-", kSatIpCapDvbT},   {"DVBT2-", kSatIpCapDvbT2},
    {"DVBC-", kSatIpCapDvbC},   {"DVBC2-", kSatIpCapDvbC2},
};

}  // namespace

int SatIpTunerCount(std::string_view list, std::string_view prefix) {
    // Item by item, so that "DVBT-" never matches inside another system's name.
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view item = list.substr(start, end - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
        if (item.substr(0, prefix.size()) == prefix) {
            long long count = 0;
            for (char c : item.substr(prefix.size())) {
                if (c < '0' || c > '9') break;
                count = std::min<long long>(count * 10 + (c - '0'), INT_MAX);
            }
            return static_cast<int>(count);
        }
        start = end + 1;
    }
    return 0;
}

uint32_t SatIpCapabilityMask(std::string_view list) {
    uint32_t mask = 0;
    for (const SystemPrefix& p : kPrefixes) {
        if (SatIpTunerCount(list, p.prefix) > 0) mask |= p.bit;
    }
    return mask;
}

uint32_t SatIpCapabilityMask(const DeviceDescription& description) {
    const std::optional<std::string> list = description.Text(kCapabilityElement);
    return list ? SatIpCapabilityMask(*list) : 0;
}

int32_t SatIpTypeCode(uint32_t mask) {
    if (mask & kSatIpCapDvbS2) return 7;
    if (mask & kSatIpCapDvbT2) return 8;
    if (mask & kSatIpCapDvbT) return 3;
    if (mask & kSatIpCapDvbC2) return 9;
    if (mask & kSatIpCapDvbC) return 2;
    return 10;
}
