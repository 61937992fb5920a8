#include "feeds/iptv/IptvSettings.h"

#include <cstdio>
#include <cstring>

#include "feeds/RegistrySettings.h"

namespace {

// The value names of one stored address.
struct AddressValues {
    const char* family;
    const char* port;
    const char* ipv4;
    const char* ipv6;
};

// The misspelt names are the stored format and stay as they are.
constexpr AddressValues kGroupValues{"AdressFamily", "Port", "IP4", "IP6"};
constexpr AddressValues kInterfaceValues{"MulticastInterfaceAdressFamily", "MulticastInterfacePort",
                                         "MulticastInterface", "MulticastInterfaceIP6"};
constexpr AddressValues kSourceValues{"MulticastSourceFamily", "MulticastSourcePort", "MulticastSource",
                                      "MulticastSourceIP6"};
constexpr const char* kSsmValue = "SSM";
constexpr DWORD kTextLimit = 260;
constexpr size_t kIPv6Digits = 32;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void ReadAddress(const char* key, const AddressValues& names, NetAddress& address) {
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

bool WriteAddress(const char* key, const AddressValues& names, const NetAddress& address) {
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

}  // namespace

void ReadIptvSettings(const char* key, IptvSettings& settings) {
    ReadAddress(key, kGroupValues, settings.group);
    ReadAddress(key, kInterfaceValues, settings.interfaceAddress);
    ReadAddress(key, kSourceValues, settings.source);
    settings.ssm = ReadRegDword(HKEY_CURRENT_USER, key, kSsmValue) != 0 ? 1 : 0;
    if (settings.source.family != kNetFamilyIPv4) settings.ssm = 0;
    SetNetAddressPort(settings.group, static_cast<uint16_t>(ReadRegDword(HKEY_CURRENT_USER, key, kGroupValues.port)));
}

bool WriteIptvSettings(const char* key, const IptvSettings& settings) {
    bool ok = WriteAddress(key, kGroupValues, settings.group);
    ok = WriteAddress(key, kInterfaceValues, settings.interfaceAddress) && ok;
    ok = WriteAddress(key, kSourceValues, settings.source) && ok;
    ok = WriteRegDword(HKEY_CURRENT_USER, key, kSsmValue, settings.ssm) && ok;
    ok = WriteRegDword(HKEY_CURRENT_USER, key, kGroupValues.port, NetAddressPort(settings.group)) && ok;
    return ok;
}
