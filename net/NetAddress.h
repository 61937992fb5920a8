#pragma once
// The address value of the network feeds. Its family numbers are those of the desktop
// platform, not of this one, because the feeds store them in their settings.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

struct sockaddr;
struct sockaddr_storage;

constexpr uint16_t kNetFamilyIPv4 = 2;
constexpr uint16_t kNetFamilyIPv6 = 23;

struct NetAddress {
    uint16_t family = 0;       // kNetFamilyIPv4, kNetFamilyIPv6, anything else: no address
    uint16_t port = 0;         // network byte order
    uint8_t address[16] = {};  // IPv4 in the first four bytes, the rest zero

    friend bool operator==(const NetAddress& a, const NetAddress& b) {
        return std::memcmp(&a, &b, sizeof(NetAddress)) == 0;
    }
};
static_assert(sizeof(NetAddress) == 20, "stored and compared as 20 plain bytes");

// Builders and accessors in host byte order.
NetAddress MakeIPv4Address(uint32_t address, uint16_t port);
NetAddress MakeIPv6Address(const uint8_t (&address)[16], uint16_t port);
uint16_t NetAddressPort(const NetAddress& address);
void SetNetAddressPort(NetAddress& address, uint16_t port);
uint32_t NetAddressIPv4(const NetAddress& address);

// True for IPv4 224.0.0.0/4 and IPv6 ff00::/8.
bool IsMulticast(const NetAddress& address);

// "192.0.2.1", "[fe80::1]", with the port "192.0.2.1:1234", "[fe80::1]:1234".
// Any other family yields an empty text and false.
bool FormatNetAddress(const NetAddress& address, std::string& text, bool withPort);

// Reads the text forms above; an IPv6 text needs its port ("[::1]:5000"). With a
// prefix (may be null) the text must start with it. On failure the address is left
// as it was.
bool ParseNetAddress(const char* prefix, std::string_view text, NetAddress& address);

// Conversions to and from this platform's socket addresses. An address of no known
// family gives an all-zero storage and length 0; a foreign socket address gives an
// all-zero NetAddress.
unsigned NetAddressToSockaddr(const NetAddress& address, sockaddr_storage& storage);
NetAddress NetAddressFromSockaddr(const sockaddr* address);
