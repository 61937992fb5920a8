#include "feeds/transponders/TransponderSelection.h"

#include "feeds/RegistrySettings.h"

namespace {
constexpr const char* kFeedKey = "TransponderSelection";
constexpr const char* kFavouritesOnlyValue = "ShowOnlyFav";
constexpr const char* kSatelliteValue = "SatFilter";
constexpr const char* kTextValue = "filter";
constexpr DWORD kTextSize = 260;
// A key is three cell texts of at most 99 characters each.
constexpr DWORD kFavouriteNameSize = 3 * 99 + 1;

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

std::set<std::string> TransponderSelection::Favourites() const {
    std::set<std::string> keys;
    HKEY handle = nullptr;
    if (key_.empty() || RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), &handle) != ERROR_SUCCESS) return keys;
    for (DWORD i = 0;; ++i) {
        char name[kFavouriteNameSize];
        DWORD nameSize = sizeof name;
        DWORD type = REG_NONE;
        DWORD value = 0;
        DWORD valueSize = sizeof value;
        const LONG result = RegEnumValueA(handle, i, name, &nameSize, &type, reinterpret_cast<BYTE*>(&value), &valueSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        // Longer names and other types are not favourites; skip them and go on.
        if (result == ERROR_SUCCESS && type == REG_DWORD && valueSize == sizeof value && value != 0)
            keys.emplace(name, nameSize);
    }
    RegCloseKey(handle);
    return keys;
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
