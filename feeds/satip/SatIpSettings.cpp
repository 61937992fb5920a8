#include "feeds/satip/SatIpSettings.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <span>
#include <utility>

#include "feeds/RegistryNetAddress.h"
#include "feeds/RegistrySettings.h"

namespace {

constexpr const char* kFeedKey = "SAT2IPFeed";
constexpr NetAddressValueNames kServerValues{"ServerFamily", "ServerPort", "ServerAddress", "ServerAddressIPv6"};
constexpr NetAddressValueNames kManualValues{"ManualFamily", "ManualPort", "ManualAddress", "ManualAddressIPv6"};

// One stored number: its value name and where it lives. Flags read as 0 or 1; the
// other narrow fields keep the low bits, as their widths allow.
struct StoredValue {
    const char* name;
    uint32_t SatIpSettings::*word = nullptr;
    uint8_t SatIpSettings::*byte = nullptr;
    uint16_t SatIpSettings::*half = nullptr;
    bool flag = false;
};

constexpr StoredValue Word(const char* name, uint32_t SatIpSettings::*field) { return {name, field, nullptr, nullptr}; }
constexpr StoredValue Flag(const char* name, uint8_t SatIpSettings::*field) { return {name, nullptr, field, nullptr, true}; }
constexpr StoredValue Byte(const char* name, uint8_t SatIpSettings::*field) { return {name, nullptr, field, nullptr}; }

// The misspelt names are the stored format and stay as they are.
const StoredValue kValues[] = {
    Word("ServerHash", &SatIpSettings::serverHash),
    Flag("ManualSelect", &SatIpSettings::manualSelect),
    Word("DeliveryMode", &SatIpSettings::deliveryMode),
    Word("FeedType", &SatIpSettings::feedType),
    Word("SignalSource", &SatIpSettings::signalSource),
    Word("Frequency_S", &SatIpSettings::frequencyS),
    Word("Modulation", &SatIpSettings::modulationS),
    Word("Polarisation", &SatIpSettings::polarisation),
    Word("Symbolrate_S", &SatIpSettings::symbolRateS),
    Word("FEC_S", &SatIpSettings::fecS),
    Word("RollOff", &SatIpSettings::rollOff),
    Flag("PilotTones", &SatIpSettings::pilotTones),
    Word("Frequency_T", &SatIpSettings::frequencyT),
    Word("Bandwidth_T", &SatIpSettings::bandwidthT),
    Word("ModulationSystem_T", &SatIpSettings::systemT),
    Word("TransmitionMode", &SatIpSettings::transmissionMode),
    Word("Modulation_T", &SatIpSettings::modulationT),
    Word("GuardIntervall", &SatIpSettings::guardInterval),
    Word("FEC_T", &SatIpSettings::fecT),
    Byte("PLP_T", &SatIpSettings::plpT),
    {"T2SysID", nullptr, nullptr, &SatIpSettings::t2SystemId},
    Flag("MISO", &SatIpSettings::miso),
    Word("Frequency_C", &SatIpSettings::frequencyC),
    Flag("ModulationSystem_C", &SatIpSettings::systemC),
    Word("Modulation_C", &SatIpSettings::modulationC),
    Word("Symbolrate_C", &SatIpSettings::symbolRateC),
    Flag("SpectrumInversion", &SatIpSettings::spectrumInversion),
    Word("C2TuningType", &SatIpSettings::c2TuningType),
    Word("C2SymbolDuration", &SatIpSettings::c2SymbolDuration),
    Byte("C2DataSliceID", &SatIpSettings::c2DataSliceId),
    Byte("PLP_C", &SatIpSettings::plpC),
    Flag("AlwaysStopSSDP", &SatIpSettings::AlwaysStopSSDP),
    Flag("NoPIDAllWarning", &SatIpSettings::NoPIDAllWarning),
};

// Zero values that mean "never stored" and take their default instead.
const std::pair<uint32_t SatIpSettings::*, uint32_t> kZeroReplacements[] = {
    {&SatIpSettings::deliveryMode, kSatIpDeliveryRtspMulticast},
    {&SatIpSettings::feedType, kSatIpSatellite},
    {&SatIpSettings::signalSource, 1},
    {&SatIpSettings::frequencyS, 11836},
    {&SatIpSettings::symbolRateS, 27500},
    {&SatIpSettings::fecS, 3},
    {&SatIpSettings::frequencyT, 690},
    {&SatIpSettings::frequencyC, 410},
    {&SatIpSettings::modulationC, 5},
    {&SatIpSettings::symbolRateC, 6900},
};

bool HasName(const char* application) { return application && *application; }

DWORD Stored(const SatIpSettings& s, const StoredValue& v) {
    if (v.word) return s.*v.word;
    if (v.byte) return s.*v.byte;
    return s.*v.half;
}

void Take(SatIpSettings& s, const StoredValue& v, DWORD value) {
    if (v.word) {
        s.*v.word = value;
    } else if (v.byte) {
        s.*v.byte = v.flag ? (value != 0 ? 1 : 0) : static_cast<uint8_t>(value);
    } else {
        s.*v.half = static_cast<uint16_t>(value);
    }
}

// Appends a formatted parameter; the capacity of the query bounds every append.
void Append(std::string& query, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& query, const char* format, ...) {
    char piece[SatIpTarget::kQueryCapacity + 1];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (length <= 0) return;
    query.append(piece, std::min<size_t>(static_cast<size_t>(length), sizeof piece - 1));
    if (query.size() > SatIpTarget::kQueryCapacity) query.resize(SatIpTarget::kQueryCapacity);
}

// The text a table gives for a code; nothing for a code outside it.
void AppendFrom(std::string& query, std::span<const char* const> table, uint32_t code, uint32_t first = 0) {
    if (code < first || code - first >= table.size()) return;
    query += table[code - first];
}

constexpr const char* kPolarisations[] = {"&pol=h", "&pol=v", "&pol=l", "&pol=r"};
constexpr const char* kSatelliteModulations[] = {"&msys=dvbs&mtype=qpsk", "&msys=dvbs2&mtype=qpsk",
                                                 "&msys=dvbs2&mtype=8psk"};
constexpr const char* kSatelliteFecs[] = {"&fec=12", "&fec=23", "&fec=34", "&fec=56", "&fec=78",
                                          "&fec=89", "&fec=35", "&fec=45", "&fec=910"};
constexpr const char* kBandwidths[] = {"&bw=8", "&bw=7", "&bw=6", "&bw=5", "&bw=10", "&bw=1.712"};
constexpr const char* kTransmissionModes[] = {"&tmode=2k", "&tmode=8k", "&tmode=4k",
                                              "&tmode=1k", "&tmode=16k", "&tmode=32k"};
constexpr const char* kTerrestrialModulations[] = {"&mtype=qpsk", "&mtype=16qam", "&mtype=64qam"};
constexpr const char* kGuardIntervals[] = {"&gi=132", "&gi=116", "&gi=18", "&gi=14",
                                           "&gi=1128", "&gi=19128", "&gi=19256"};
constexpr const char* kTerrestrialFecs[] = {"&fec=12", "&fec=23", "&fec=34", "&fec=56", "&fec=78"};
constexpr const char* kCableModulations[] = {"&mtype=16qam", "&mtype=32qam", "&mtype=64qam", "&mtype=128qam",
                                             "&mtype=256qam"};
constexpr const char* kC2TuningTypes[] = {"&c2tft=0", "&c2tft=1", "&c2tft=2"};
constexpr const char* kC2Bandwidths[] = {"&bw=8", "&bw=6"};
// Tables of DVB-T stop where DVB-T2 extends them.
constexpr size_t kDvbtBandwidths = 4, kDvbtModes = 3, kDvbtGuardIntervals = 4;

void BuildSatellite(const SatIpSettings& s, std::string& q) {
    const bool dvbs2 = s.modulationS == 1 || s.modulationS == 2;
    Append(q, "?src=%d", static_cast<int>(s.signalSource));
    Append(q, "&freq=%.0f", static_cast<double>(s.frequencyS));
    AppendFrom(q, kPolarisations, s.polarisation);
    const double rollOff = !dvbs2 ? 0.35 : s.rollOff == 2 ? 0.20 : s.rollOff == 1 ? 0.25 : 0.35;
    Append(q, "&ro=%.2f", rollOff);
    AppendFrom(q, kSatelliteModulations, s.modulationS);
    q += dvbs2 && s.pilotTones ? "&plts=on" : "&plts=off";
    Append(q, "&sr=%d", static_cast<int>(s.symbolRateS));
    AppendFrom(q, kSatelliteFecs, s.fecS, 1);
}

void BuildTerrestrial(const SatIpSettings& s, std::string& q) {
    const bool t2 = s.systemT != 0;
    Append(q, "?freq=%.1f", static_cast<double>(s.frequencyT));
    AppendFrom(q, std::span(kBandwidths).first(t2 ? std::size(kBandwidths) : kDvbtBandwidths), s.bandwidthT);
    q += t2 ? "&msys=dvbt2" : "&msys=dvbt";
    AppendFrom(q, std::span(kTransmissionModes).first(t2 ? std::size(kTransmissionModes) : kDvbtModes),
               s.transmissionMode);
    AppendFrom(q, kTerrestrialModulations, s.modulationT);
    AppendFrom(q, std::span(kGuardIntervals).first(t2 ? std::size(kGuardIntervals) : kDvbtGuardIntervals),
               s.guardInterval);
    AppendFrom(q, kTerrestrialFecs, s.fecT);
    if (!t2) return;
    Append(q, "&plp=%d", s.plpT);
    Append(q, "&t2id=%d", s.t2SystemId);
    q += s.miso ? "&sm=1" : "&sm=0";
}

void BuildCable(const SatIpSettings& s, std::string& q) {
    Append(q, "?freq=%.2f", static_cast<double>(s.frequencyC));
    if (s.systemC == 0) {
        q += "&msys=dvbc";
        AppendFrom(q, kCableModulations, s.modulationC, 1);
        Append(q, "&sr=%d", static_cast<int>(s.symbolRateC));
        q += s.spectrumInversion ? "&specinv=1" : "&specinv=0";
        return;
    }
    AppendFrom(q, kC2TuningTypes, s.c2TuningType);
    AppendFrom(q, kC2Bandwidths, s.c2SymbolDuration);
    q += "&msys=dvbc2";
    Append(q, "&ds=%d", s.c2DataSliceId);
    Append(q, "&plp=%d", s.plpC);
}

}  // namespace

bool LoadSatIpSettings(const char* application, SatIpSettings& settings) {
    settings = SatIpSettings{};
    settings.deliveryMode = kSatIpDeliveryRtspUnicast;
    if (!HasName(application)) return false;
    const std::string key = FeedSettingsKey(application, kFeedKey);
    ReadRegNetAddress(key.c_str(), kServerValues, settings.serverAddress);
    ReadRegNetAddress(key.c_str(), kManualValues, settings.manualAddress);
    for (const StoredValue& value : kValues) Take(settings, value, ReadRegDword(HKEY_CURRENT_USER, key.c_str(), value.name));
    for (const auto& [field, fallback] : kZeroReplacements) {
        if (settings.*field == 0) settings.*field = fallback;
    }
    return true;
}

bool SaveSatIpSettings(const char* application, const SatIpSettings& settings) {
    if (!HasName(application)) return false;
    const std::string key = FeedSettingsKey(application, kFeedKey);
    bool ok = WriteRegNetAddress(key.c_str(), kServerValues, settings.serverAddress);
    ok = WriteRegNetAddress(key.c_str(), kManualValues, settings.manualAddress) && ok;
    for (const StoredValue& value : kValues) {
        ok = WriteRegDword(HKEY_CURRENT_USER, key.c_str(), value.name, Stored(settings, value)) && ok;
    }
    return ok;
}

std::string BuildSatIpQuery(const SatIpSettings& settings) {
    std::string query;
    switch (settings.feedType) {
        case kSatIpSatellite: BuildSatellite(settings, query); break;
        case kSatIpTerrestrial: BuildTerrestrial(settings, query); break;
        case kSatIpCable: BuildCable(settings, query); break;
        default: return query;
    }
    query += "&pids=all";
    return query;
}

void RebuildSatIpTarget(const SatIpSettings& settings, SatIpTarget& target) {
    const NetAddress& server = settings.manualSelect ? settings.manualAddress : settings.serverAddress;
    switch (settings.deliveryMode) {
        case kSatIpDeliveryHttp: {
            std::string text;
            FormatNetAddress(server, text, false);
            target.httpBaseUrl = "http://" + text;
            break;
        }
        case kSatIpDeliveryRtspUnicast:
        case kSatIpDeliveryRtspMulticast:
            target.rtspServer = server;
            SetNetAddressPort(target.rtspServer, kRtspPort);
            break;
        default: return;
    }
    target.query = BuildSatIpQuery(settings);
}
