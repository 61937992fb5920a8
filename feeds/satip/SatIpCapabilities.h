#pragma once
// The tuners a SAT>IP server offers, from the X_SATIPCAP element of its device
// description ("DVBS2-2,DVBT-1"), and the feed type they make.
#include <cstdint>
#include <string_view>

#include "net/DeviceDescription.h"

enum SatIpCapability : uint32_t {
    kSatIpCapDvbS2 = 1,
    kSatIpCapDvbT = 2,
    kSatIpCapDvbT2 = 4,
    kSatIpCapDvbC = 8,
    kSatIpCapDvbC2 = 16,
    kSatIpCapAll = 0x1F,
};

// The number after `prefix` ("DVBT-") in the comma-separated list; 0 when absent.
int SatIpTunerCount(std::string_view capabilityList, std::string_view prefix);
// A bit for every system with at least one tuner.
uint32_t SatIpCapabilityMask(std::string_view capabilityList);
// From the description's "satip:X_SATIPCAP"; 0 without one.
uint32_t SatIpCapabilityMask(const DeviceDescription& description);
// DVB-S2 tuners give 7, else DVB-T2 8, else DVB-T 3, else DVB-C2 9, else DVB-C 2, else 10.
int32_t SatIpTypeCode(uint32_t capabilityMask);
