#include "feeds/bda/BdaDeliverySystem.h"

#include <cstring>
#include <initializer_list>

namespace {

struct NameRule {
    std::initializer_list<const char*> anyOf;
    const char* mustLack;  // null: no exclusion
    int32_t type;
};

// Earlier rows win: "DVB-S2" must be seen before "DVB-S", "DVB-C" before "DVB-T".
const NameRule kNameRules[] = {
    {{"DVBS2"}, nullptr, kFeedDvbS2},
    {{"DVB-S2"}, nullptr, kFeedDvbS2},
    {{"4XXe"}, nullptr, kFeedDvbS2},
    {{"DVBS", "DVB-S"}, nullptr, kFeedDvbS},
    {{"TT-connect"}, "DVB-", kFeedDvbS},
    {{"Pinnacle Stargate", "TechniSat BDA Digital Tuner"}, nullptr, kFeedDvbS},
    {{"DVBC2", "DVB-C2"}, nullptr, kFeedDvbC2},
    {{"DVBC", "DVB-C"}, nullptr, kFeedDvbC},
    {{"DVBT2", "DVB-T2", "ASTROMETA DTV filter"}, nullptr, kFeedDvbT2},
    {{"DVBT", "DVB-T", "TV-Stick", "DualTV", "AVerMedia Hybrid TV BDA Tuner (XC3018)", "Digital TV Receiver",
      "Cinergy 2400i", "AF9015", "EC168", "2831U", "AVerMedia BDA Digital Tuner"},
     nullptr,
     kFeedDvbT},
    {{"ATSC"}, nullptr, kFeedAtsc},
};

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

}  // namespace

int32_t ClassifyBdaDetails(const char* details) {
    if (!details) return kFeedNone;
    for (const NameRule& rule : kNameRules) {
        bool found = false;
        for (const char* part : rule.anyOf) found = found || Contains(details, part);
        if (found && !(rule.mustLack && Contains(details, rule.mustLack))) return rule.type;
    }
    return kFeedNone;
}

uint32_t BdaCapabilities(int32_t feedType) {
    switch (feedType) {
    case kFeedDvbS: return kCapSatellite;
    case kFeedDvbC: return kCapCable;
    case kFeedDvbT: return kCapTerrestrial;
    case kFeedDvbS2: return kCapSatellite | kCapDvbS2;
    case kFeedDvbT2: return kCapTerrestrial | kCapDvbT2;
    case kFeedDvbC2: return kCapCable | kCapDvbC2;
    case kFeedAtsc: return kCapAtsc;
    default: return 0;
    }
}

bool SetBdaDefaultTuning(int32_t feedType, TuningParameters& record) {
    TuningParameters fresh{};
    uint32_t* w = fresh.word;
    switch (feedType) {
    case kFeedDvbS:
    case kFeedDvbS2:
        w[1] = 11'836'000;
        w[2] = 27'500'000;
        w[5] = 1;
        break;
    case kFeedDvbC:
    case kFeedDvbC2:
        w[1] = 410'000;
        w[2] = 6'900'000;
        w[7] = 3;
        break;
    case kFeedDvbT:
    case kFeedDvbT2: w[1] = 538'000; break;
    case kFeedAtsc: w[1] = 46; break;
    default: return false;
    }
    w[0] = static_cast<uint32_t>(feedType);
    record = fresh;
    return true;
}
