#pragma once
// A NetAddress in the registry, as the network feeds store it: three values of one
// key, the family (2 or 23), the port (host order) and the address (IPv4 a number in
// host order, IPv6 32 upper-case hexadecimal digits, two per byte).
#include "net/NetAddress.h"

// The value names of one stored address.
struct NetAddressValueNames {
    const char* family;
    const char* port;
    const char* ipv4;
    const char* ipv6;
};

// Missing values read as 0 and a family of 0 as IPv4; an IPv6 text too short to hold
// an address, or not hexadecimal, leaves the address bytes as they were.
void ReadRegNetAddress(const char* key, const NetAddressValueNames& names, NetAddress& address);
// False when any value could not be written.
bool WriteRegNetAddress(const char* key, const NetAddressValueNames& names, const NetAddress& address);
