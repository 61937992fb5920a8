#pragma once
// One receive configuration of the IPTV feed: what to receive, on which interface,
// and from which sender when the group is source-specific.
#include <array>
#include <cstddef>
#include <cstdint>

#include "net/NetAddress.h"

struct IptvSettings {
    static constexpr uint16_t kDefaultPort = 1234;

    // Multicast group, or a unicast address of this computer, with the UDP port.
    NetAddress group = MakeIPv4Address(0, kDefaultPort);
    // Local interface for a multicast group; its port is not used.
    NetAddress interfaceAddress = MakeIPv4Address(0, kDefaultPort);
    uint8_t ssm = 0;  // 1: receive the group from `source` only
    NetAddress source = MakeIPv4Address(0, kDefaultPort);

    friend bool operator==(const IptvSettings& a, const IptvSettings& b) {
        return a.group == b.group && a.interfaceAddress == b.interfaceAddress && a.ssm == b.ssm &&
               a.source == b.source;
    }
};

// Settings most recently started first.
constexpr size_t kIptvHistorySize = 10;
using IptvHistory = std::array<IptvSettings, kIptvHistorySize>;

// The registry form: each address as its family, its port (host order) and its
// address (IPv4 a number in host order, IPv6 32 upper-case hexadecimal digits), the
// ssm byte as a number, and the group's port once more. Values that are missing read
// as 0; an IPv6 text too short to hold an address leaves that address as it was.
void ReadIptvSettings(const char* key, IptvSettings& settings);
// False when any value could not be written.
bool WriteIptvSettings(const char* key, const IptvSettings& settings);
