#include "feeds/RegistryNetAddress.h"

#include <cstdio>
#include <cstring>

#include "feeds/RegistrySettings.h"

namespace {

constexpr DWORD kTextLimit = 260;
constexpr size_t kIPv6Digits = 32;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void ReadRegNetAddress(const char* key, const NetAddressValueNames& names, NetAddress& address) {
    DWORD family = ReadRegDword(HKEY_CURRENT_USER, key, names.family);
    if (family == 0) family = kNetFamilyIPv4;
    address.family = static_cast<uint16_t>(family);
    SetNetAddressPort(address, static_cast<uint16_t>(ReadRegDword(HKEY_CURRENT_USER, key, names.port)));
    if (family == kNetFamilyIPv4) {
        const NetAddress read = MakeIPv4Address(ReadRegDword(HKEY_CURRENT_USER, key, names.ipv4), 0);
        std::memcpy(address.address, read.address, sizeof address.address);
    } else if (family == kNetFamilyIPv6) {
        char text[kTextLimit + 1] = {};
        ReadRegString(HKEY_CURRENT_USER, key, names.ipv6, text, kTextLimit);
        if (std::strlen(text) < kIPv6Digits) return;
        uint8_t bytes[16];
        for (size_t i = 0; i < 16; ++i) {
            const int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
            if (high < 0 || low < 0) return;
            bytes[i] = static_cast<uint8_t>(high << 4 | low);
        }
        std::memcpy(address.address, bytes, sizeof bytes);
    }
}

bool WriteRegNetAddress(const char* key, const NetAddressValueNames& names, const NetAddress& address) {
    bool ok = WriteRegDword(HKEY_CURRENT_USER, key, names.family, address.family);
    ok = WriteRegDword(HKEY_CURRENT_USER, key, names.port, NetAddressPort(address)) && ok;
    if (address.family == kNetFamilyIPv6) {
        char text[kIPv6Digits + 1];
        for (size_t i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02X", address.address[i]);
        ok = WriteRegValue(HKEY_CURRENT_USER, key, true, names.ipv6, text) && ok;
    } else {
        ok = WriteRegDword(HKEY_CURRENT_USER, key, names.ipv4, NetAddressIPv4(address)) && ok;
    }
    return ok;
}
