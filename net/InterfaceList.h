#pragma once
// This computer's network interfaces, and an interface as a user names it on a
// command line: by its name or by one of its addresses.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/NetAddress.h"

struct NetInterface {
    std::string name;
    unsigned index = 0;
    bool up = false;
    bool loopback = false;
    bool multicast = false;
    std::vector<NetAddress> addresses;  // IPv4 first, then IPv6, each in the system's order; port 0
};

// Every interface, with or without addresses, in index order. False, with the
// system's error number, when the list cannot be read.
bool ListNetInterfaces(std::vector<NetInterface>* interfaces, int* error);

// An interface chosen for one address family.
struct InterfaceChoice {
    std::string name;
    unsigned index = 0;
    // IPv4: the address given, or the interface's first IPv4 address. IPv6: the address
    // given, or the interface's first IPv6 address (family 0 when it has none).
    NetAddress address{};
};

// `text` is an interface name ("eth0") or an address of this computer ("192.0.2.1",
// "fe80::1", "[fe80::1]"); `family` is kNetFamilyIPv4 or kNetFamilyIPv6, the family of
// the traffic. An unknown name, an address no interface holds, an address of the other
// family and a named interface without an IPv4 address for IPv4 traffic are refused
// with one line in `error`.
std::optional<InterfaceChoice> ResolveInterface(std::string_view text, uint16_t family, std::string* error);
