#include "feeds/bda/BdaSettings.h"

#include <cstdio>

#include "feeds/RegistrySettings.h"

namespace {

constexpr const char* kFeedKeyFormat = "BDAFeed %s";
constexpr const char* kFrequency = "Frequency";
constexpr const char* kSymbolrate = "Symbolrate";
constexpr const char* kPolarization = "Polarization";
constexpr const char* kModulation = "Modulation";
constexpr const char* kBandwidth = "Bandwidth";
constexpr const char* kLastBDAFeedType = "LastBDAFeedType";

struct StoredWord {
    const char* name;
    int word;
};
constexpr StoredWord kStoredWords[] = {
    {kSymbolrate, 2}, {kPolarization, 6}, {kModulation, 7}, {kBandwidth, 8}};

bool SelectableType(int32_t type) {
    switch (type) {
    case kFeedDvbS:
    case kFeedDvbC:
    case kFeedDvbT:
    case kFeedDvbS2:
    case kFeedDvbT2:
    case kFeedDvbC2: return true;
    default: return false;
    }
}

}  // namespace

std::string BdaSettingsKey(const char* application, const char* feedName) {
    char feedKey[kFeedTextSize + 16];
    std::snprintf(feedKey, sizeof feedKey, kFeedKeyFormat, feedName ? feedName : "");
    return FeedSettingsKey(application, feedKey);
}

void LoadBdaSettings(const char* application, const char* feedName, TuningParameters& record,
                     int32_t& lastSelectedType) {
    const std::string key = BdaSettingsKey(application, feedName);
    const DWORD frequency = ReadRegDword(HKEY_CURRENT_USER, key.c_str(), kFrequency);
    if (frequency == 0) return;
    record.word[1] = frequency;
    for (const StoredWord& stored : kStoredWords)
        record.word[stored.word] = ReadRegDword(HKEY_CURRENT_USER, key.c_str(), stored.name);
    const auto last = static_cast<int32_t>(ReadRegDword(HKEY_CURRENT_USER, key.c_str(), kLastBDAFeedType));
    lastSelectedType = SelectableType(last) ? last : kFeedDvbT;
}

void SaveBdaSettings(const char* application, const char* feedName, const TuningParameters& record,
                     int32_t lastSelectedType) {
    const std::string key = BdaSettingsKey(application, feedName);
    WriteRegDword(HKEY_CURRENT_USER, key.c_str(), kFrequency, record.word[1]);
    for (const StoredWord& stored : kStoredWords)
        WriteRegDword(HKEY_CURRENT_USER, key.c_str(), stored.name, record.word[stored.word]);
    WriteRegDword(HKEY_CURRENT_USER, key.c_str(), kLastBDAFeedType, static_cast<DWORD>(lastSelectedType));
}
