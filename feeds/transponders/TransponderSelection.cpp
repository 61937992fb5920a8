#include "feeds/transponders/TransponderSelection.h"

#include "feeds/RegistrySettings.h"

namespace {
constexpr const char* kFeedKey = "TransponderSelection";
constexpr const char* kFavouritesOnlyValue = "ShowOnlyFav";
constexpr const char* kSatelliteValue = "SatFilter";
constexpr const char* kTextValue = "filter";
constexpr DWORD kTextSize = 260;

bool KeyIsEmpty(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), &handle) != ERROR_SUCCESS) return false;
    char name[2];
    DWORD size = sizeof name;
    bool noValues = RegEnumValueA(handle, 0, name, &size, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS;
    size = sizeof name;
    bool noKeys = RegEnumKeyExA(handle, 0, name, &size) == ERROR_NO_MORE_ITEMS;
    RegCloseKey(handle);
    return noValues && noKeys;
}
}  // namespace

TransponderSelection::TransponderSelection(const char* application)
    : key_(application ? FeedSettingsKey(application, kFeedKey) : std::string()) {}

TransponderFilter TransponderSelection::LoadFilter() const {
    TransponderFilter filter;
    if (key_.empty()) return filter;
    filter.favouritesOnly = ReadRegDword(HKEY_CURRENT_USER, key_.c_str(), kFavouritesOnlyValue) != 0;
    filter.satellite = static_cast<uint16_t>(ReadRegDword(HKEY_CURRENT_USER, key_.c_str(), kSatelliteValue));
    // One byte more than the longest stored text, so the copy always ends.
    char text[kTextSize + 1] = {};
    if (ReadRegString(HKEY_CURRENT_USER, key_.c_str(), kTextValue, text, sizeof text)) filter.text = text;
    return filter;
}

void TransponderSelection::StoreFavouritesOnly(bool on) const {
    WriteRegDword(HKEY_CURRENT_USER, key_.c_str(), kFavouritesOnlyValue, on ? 1 : 0);
}

void TransponderSelection::StoreSatellite(uint16_t position) const {
    WriteRegDword(HKEY_CURRENT_USER, key_.c_str(), kSatelliteValue, position);
}

void TransponderSelection::StoreText(const std::string& text) const {
    WriteRegValue(HKEY_CURRENT_USER, key_.c_str(), true, kTextValue, text.c_str());
}

bool TransponderSelection::IsFavourite(const std::string& key) const {
    return !key_.empty() && ReadRegDword(HKEY_CURRENT_USER, key_.c_str(), key.c_str()) != 0;
}

void TransponderSelection::SetFavourite(const std::string& key, bool marked) const {
    if (key_.empty()) return;
    if (marked) {
        WriteRegDword(HKEY_CURRENT_USER, key_.c_str(), key.c_str(), 1);
        return;
    }
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), &handle) != ERROR_SUCCESS) return;
    RegDeleteValueA(handle, key.c_str());
    RegCloseKey(handle);
    if (KeyIsEmpty(key_)) RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
}
