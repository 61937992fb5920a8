#include "feeds/iptv/IptvSettings.h"

#include "feeds/RegistryNetAddress.h"
#include "feeds/RegistrySettings.h"

namespace {

// The misspelt names are the stored format and stay as they are.
constexpr NetAddressValueNames kGroupValues{"AdressFamily", "Port", "IP4", "IP6"};
constexpr NetAddressValueNames kInterfaceValues{"MulticastInterfaceAdressFamily", "MulticastInterfacePort",
                                                "MulticastInterface", "MulticastInterfaceIP6"};
constexpr NetAddressValueNames kSourceValues{"MulticastSourceFamily", "MulticastSourcePort", "MulticastSource",
                                             "MulticastSourceIP6"};
constexpr const char* kSsmValue = "SSM";

}  // namespace

void ReadIptvSettings(const char* key, IptvSettings& settings) {
    ReadRegNetAddress(key, kGroupValues, settings.group);
    ReadRegNetAddress(key, kInterfaceValues, settings.interfaceAddress);
    ReadRegNetAddress(key, kSourceValues, settings.source);
    settings.ssm = ReadRegDword(HKEY_CURRENT_USER, key, kSsmValue) != 0 ? 1 : 0;
    if (settings.source.family != kNetFamilyIPv4) settings.ssm = 0;
    SetNetAddressPort(settings.group, static_cast<uint16_t>(ReadRegDword(HKEY_CURRENT_USER, key, kGroupValues.port)));
}

bool WriteIptvSettings(const char* key, const IptvSettings& settings) {
    bool ok = WriteRegNetAddress(key, kGroupValues, settings.group);
    ok = WriteRegNetAddress(key, kInterfaceValues, settings.interfaceAddress) && ok;
    ok = WriteRegNetAddress(key, kSourceValues, settings.source) && ok;
    ok = WriteRegDword(HKEY_CURRENT_USER, key, kSsmValue, settings.ssm) && ok;
    ok = WriteRegDword(HKEY_CURRENT_USER, key, kGroupValues.port, NetAddressPort(settings.group)) && ok;
    return ok;
}
