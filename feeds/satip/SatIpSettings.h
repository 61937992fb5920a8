#pragma once
// The tuning settings of the SAT>IP feed, their registry form, and what they turn
// into: the server to talk to and the query string that tunes it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/NetAddress.h"

enum SatIpDeliveryMode : uint32_t {
    kSatIpDeliveryHttp = 1,
    kSatIpDeliveryRtspUnicast = 2,
    kSatIpDeliveryRtspMulticast = 3,
};

// The delivery systems the feed type selects (feed type codes of the feed interface).
enum SatIpSystem : uint32_t {
    kSatIpSatellite = 7,    // DVB-S/S2
    kSatIpTerrestrial = 8,  // DVB-T/T2
    kSatIpCable = 9,        // DVB-C/C2
};

constexpr uint16_t kRtspPort = 554;

struct SatIpSettings {
    uint32_t serverHash = 0;  // key of the chosen discovered server (SatIpServerKey)
    NetAddress serverAddress{};
    uint8_t manualSelect = 0;  // 1: use manualAddress instead of the discovered server
    NetAddress manualAddress{};
    uint32_t deliveryMode = kSatIpDeliveryRtspMulticast;
    uint32_t feedType = kSatIpSatellite;

    // Satellite
    uint32_t signalSource = 1;  // 1 to 4
    uint32_t frequencyS = 11836;  // MHz
    uint32_t modulationS = 0;     // 0 DVB-S QPSK, 1 DVB-S2 QPSK, 2 DVB-S2 8PSK
    uint32_t polarisation = 0;    // 0 h, 1 v, 2 l, 3 r
    uint32_t symbolRateS = 27500;  // kSymbol/s
    uint32_t fecS = 3;             // 1 1/2, 2 2/3, 3 3/4, 4 5/6, 5 7/8, 6 8/9, 7 3/5, 8 4/5, 9 9/10
    uint32_t rollOff = 0;          // 0 0.35, 1 0.25, 2 0.20
    uint8_t pilotTones = 0;

    // Terrestrial
    uint32_t frequencyT = 690;  // MHz
    uint32_t bandwidthT = 0;    // 0 8, 1 7, 2 6, 3 5, 4 10, 5 1.712 MHz
    uint32_t systemT = 0;       // 0 DVB-T, other DVB-T2
    uint32_t transmissionMode = 0;  // 0 2k, 1 8k, 2 4k, 3 1k, 4 16k, 5 32k
    uint32_t modulationT = 1;       // 0 QPSK, 1 16-QAM, 2 64-QAM
    uint32_t guardInterval = 3;     // 0 1/32, 1 1/16, 2 1/8, 3 1/4, 4 1/128, 5 19/128, 6 19/256
    uint32_t fecT = 1;              // 0 1/2, 1 2/3, 2 3/4, 3 5/6, 4 7/8
    uint8_t plpT = 0;
    uint16_t t2SystemId = 0;
    uint8_t miso = 0;

    // Cable
    uint32_t frequencyC = 410;  // MHz
    uint8_t systemC = 0;        // 0 DVB-C, 1 DVB-C2
    uint32_t modulationC = 5;   // 1 16-QAM, 2 32-QAM, 3 64-QAM, 4 128-QAM, 5 256-QAM
    uint32_t symbolRateC = 6900;  // kSymbol/s
    uint8_t spectrumInversion = 0;
    uint32_t c2TuningType = 0;      // 0, 1 or 2
    uint32_t c2SymbolDuration = 0;  // 0 8 MHz channel, 1 6 MHz channel
    uint8_t c2DataSliceId = 0;
    uint8_t plpC = 0;

    uint8_t AlwaysStopSSDP = 0;   // stop the system's SSDP services without asking
    uint8_t NoPIDAllWarning = 0;  // no notice about streaming all PIDs at start

    friend bool operator==(const SatIpSettings&, const SatIpSettings&) = default;
};

// Defaults first (delivery mode RTSP unicast at this point); without an application
// name that is all, and the result is false. Otherwise every value is read from
// "Software\Velmar\<application>\SAT2IPFeed" (missing values read as 0, flags as 0 or
// 1), the zero values that make no sense are replaced by their defaults, and the
// result is true. The caller rebuilds the target afterwards.
bool LoadSatIpSettings(const char* application, SatIpSettings& settings);
// Every value as a number (addresses as the IPTV feed stores them); false without an
// application name or when a value could not be written.
bool SaveSatIpSettings(const char* application, const SatIpSettings& settings);

// What the settings address: built by RebuildSatIpTarget after loading and whenever
// the configuration changes.
struct SatIpTarget {
    static constexpr size_t kQueryCapacity = 260;

    std::string query;        // "?src=1&freq=11836...&pids=all"; empty for an unknown feed type
    NetAddress rtspServer{};  // RTSP delivery: the server with port 554
    std::string httpBaseUrl;  // HTTP delivery: "http://<address>"
};

// For an unknown delivery mode the target is left as it was.
void RebuildSatIpTarget(const SatIpSettings& settings, SatIpTarget& target);
// The query string alone; empty for an unknown feed type.
std::string BuildSatIpQuery(const SatIpSettings& settings);
