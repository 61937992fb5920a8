#include "feeds/RegistrySettings.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <cstring>

namespace {

constexpr const char* kSettingsRoot = "Software\\Velmar\\";

// Reads open the key read-only; this store has a single view, so the desktop's second
// attempt through the 64-bit view has nothing further to find.
HKEY OpenForReading(HKEY root, const char* key) {
    if (!key) return nullptr;
    HKEY opened = nullptr;
    return RegOpenKeyExA(root, key, &opened) == ERROR_SUCCESS ? opened : nullptr;
}

HKEY OpenForWriting(HKEY root, const char* key) {
    if (!key || !*key) return nullptr;
    HKEY opened = nullptr;
    return RegCreateKeyExA(root, key, &opened) == ERROR_SUCCESS ? opened : nullptr;
}

// atoi's reading: blanks, an optional sign, then digits; anything else ends the
// number, and a number beyond the 32-bit range stops at its limit.
DWORD DecimalValue(const char* text) {
    if (!text) return 0;
    long long value = std::strtoll(text, nullptr, 10);
    value = std::clamp<long long>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return static_cast<DWORD>(static_cast<int32_t>(value));
}

}  // namespace

std::string FeedSettingsKey(const char* application, const char* feedKey) {
    return std::string(kSettingsRoot) + (application ? application : "") + "\\" + (feedKey ? feedKey : "");
}

DWORD ReadRegDword(HKEY root, const char* key, const char* valueName) {
    HKEY opened = OpenForReading(root, key);
    if (!opened) return 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG result = RegQueryValueExA(opened, valueName, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(opened);
    return result == ERROR_SUCCESS ? value : 0;
}

bool ReadRegString(HKEY root, const char* key, const char* valueName, char* buffer, DWORD bufferSize) {
    if (!buffer) return false;
    HKEY opened = OpenForReading(root, key);
    if (!opened) return false;
    DWORD size = bufferSize;
    LONG result = RegQueryValueExA(opened, valueName, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(opened);
    return result == ERROR_SUCCESS;
}

bool WriteRegDword(HKEY root, const char* key, const char* valueName, DWORD value) {
    HKEY opened = OpenForWriting(root, key);
    if (!opened) return false;
    LONG result = RegSetValueExA(opened, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(opened);
    return result == ERROR_SUCCESS;
}

bool WriteRegValue(HKEY root, const char* key, bool asText, const char* valueName, const char* text) {
    HKEY opened = OpenForWriting(root, key);
    if (!opened) return false;
    LONG result;
    if (asText) {
        const char* value = text ? text : "";
        result = RegSetValueExA(opened, valueName, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                static_cast<DWORD>(std::strlen(value)));
    } else {
        DWORD number = DecimalValue(text);
        result = RegSetValueExA(opened, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    RegCloseKey(opened);
    return result == ERROR_SUCCESS;
}
