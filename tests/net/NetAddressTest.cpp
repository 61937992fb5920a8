#include "net/NetAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

namespace {

NetAddress IPv6(std::initializer_list<uint16_t> groups, uint16_t port = 0) {
    uint8_t bytes[16] = {};
    int i = 0;
    for (uint16_t g : groups) {
        bytes[2 * i] = static_cast<uint8_t>(g >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(g);
        ++i;
    }
    return MakeIPv6Address(bytes, port);
}

TEST(NetAddress, StoredLayoutFamiliesAndMulticastRanges) {
    const NetAddress a = MakeIPv4Address(0xC0000201, 1234);
    const uint8_t expected[20] = {2, 0, 0x04, 0xD2, 192, 0, 2, 1};
    EXPECT_EQ(0, std::memcmp(&a, expected, sizeof expected));
    EXPECT_EQ(23, IPv6({1}).family);

    EXPECT_TRUE(IsMulticast(MakeIPv4Address(0xE0000000, 0)));
    EXPECT_TRUE(IsMulticast(MakeIPv4Address(0xEFFFFFFF, 0)));
    EXPECT_FALSE(IsMulticast(MakeIPv4Address(0xDFFFFFFF, 0)));
    EXPECT_FALSE(IsMulticast(MakeIPv4Address(0xF0000000, 0)));
    EXPECT_TRUE(IsMulticast(IPv6({0xff00})));
    EXPECT_FALSE(IsMulticast(IPv6({0xfe80, 0, 0, 0, 0, 0, 0, 1})));
    NetAddress other = MakeIPv4Address(0xEF010101, 0);
    other.family = 0;
    EXPECT_FALSE(IsMulticast(other));
}

TEST(NetAddressText, FormatsAndReadsBackTheDocumentedForms) {
    const std::pair<NetAddress, std::string> cases[] = {
        {MakeIPv4Address(0xC0000201, 1234), "192.0.2.1:1234"},
        {MakeIPv4Address(0, 0), "0.0.0.0:0"},
        {IPv6({}, 0), "[::]:0"},
        {IPv6({0, 0, 0, 0, 0, 0, 0, 1}, 1), "[::1]:1"},
        {IPv6({0xfe80, 0, 0, 0, 0, 0, 0, 1}, 1234), "[fe80::1]:1234"},
        {IPv6({1}, 9), "[1::]:9"},
        {IPv6({1, 0, 2, 0, 0, 3, 0, 0}, 3), "[1:0:2::3:0:0]:3"},  // the first of equal runs
        {IPv6({1, 0, 0, 2, 0, 0, 0, 3}, 4), "[1:0:0:2::3]:4"},    // the longer run, though second
        {IPv6({0, 0, 1, 0, 0, 2, 3, 4}, 5), "[::1:0:0:2:3:4]:5"},
        {IPv6({0, 0, 1, 0, 0, 0, 0, 2}, 6), "[0:0:1::2]:6"},
        {IPv6({1, 0, 2, 3, 4, 5, 6, 7}, 7), "[1:0:2:3:4:5:6:7]:7"},  // a lone zero group stays
        {IPv6({1, 2, 3, 4, 5, 6, 7, 0}, 8), "[1:2:3:4:5:6:7:0]:8"},
        {IPv6({0x00ab, 0xcdef, 0xffff, 0x0010}, 10), "[ab:cdef:ffff:10::]:10"},
        {IPv6({0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}, 65535),
         "[ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff]:65535"},
    };
    for (const auto& [address, text] : cases) {
        std::string formatted = "unchanged";
        EXPECT_TRUE(FormatNetAddress(address, formatted, true));
        EXPECT_EQ(text, formatted);
        EXPECT_TRUE(FormatNetAddress(address, formatted, false));
        EXPECT_EQ(text.substr(0, text.rfind(':')), formatted);
        NetAddress back;
        EXPECT_TRUE(ParseNetAddress(nullptr, text, back)) << text;
        EXPECT_EQ(address, back) << text;
    }
    std::string text;
    EXPECT_TRUE(FormatNetAddress(MakeIPv4Address(0xFFFFFFFF, 65535), text, true));
    EXPECT_EQ("255.255.255.255:65535", text);
    NetAddress foreign = MakeIPv4Address(0x7F000001, 1);
    foreign.family = 10;  // this platform's own IPv6 number is not a stored family
    EXPECT_FALSE(FormatNetAddress(foreign, text, true));
    EXPECT_EQ("", text);
}

TEST(ParseNetAddress, OtherAcceptedForms) {
    NetAddress a;
    ASSERT_TRUE(ParseNetAddress(nullptr, "10.0.0.1", a));
    EXPECT_EQ(MakeIPv4Address(0x0A000001, 0), a);
    ASSERT_TRUE(ParseNetAddress(nullptr, "127.1:9", a));  // the system's short dotted forms
    EXPECT_EQ(MakeIPv4Address(0x7F000001, 9), a);
    ASSERT_TRUE(ParseNetAddress(nullptr, "[FE80::A:b]:1", a));
    EXPECT_EQ(IPv6({0xfe80, 0, 0, 0, 0, 0, 0xa, 0xb}, 1), a);
    // Only 260 characters of an IPv4 text count: the port beyond them is not read.
    ASSERT_TRUE(ParseNetAddress(nullptr, "10.0.0." + std::string(252, '0') + "1:80", a));
    EXPECT_EQ(MakeIPv4Address(0x0A000001, 0), a);

    ASSERT_TRUE(ParseNetAddress("udp://", "udp://239.1.2.3:1234", a));
    EXPECT_EQ(MakeIPv4Address(0xEF010203, 1234), a);
    ASSERT_TRUE(ParseNetAddress("rtp://@", "rtp://@[ff15::7]:5004", a));
    EXPECT_EQ(IPv6({0xff15, 0, 0, 0, 0, 0, 0, 7}, 5004), a);
    EXPECT_TRUE(ParseNetAddress("", "1.2.3.4", a));
}

TEST(ParseNetAddress, RejectsAndLeavesTheAddressAlone) {
    const NetAddress before = MakeIPv4Address(0x01020304, 7);
    for (const char* text :
         {"[::1]", "[::1]:", "[::1]x5000", "[::1:5000", "[1::2::3]:80", "[1:2:3:4:5:6:7:8:9]:80", "[1:2:3:4:5:6:7]:80",
          "[1:2:3:4::5:6:7:8]:80", "[12345::1]:80", "[:::1]:80", "[1:]:80", "[g::1]:80", "[]:80", "[::1]:65536",
          "[::1]:80x", "[", "[::1]:-1", "255.255.255.255", "255.255.255.255:80", "", ":80", "10.0.0.1:", "10.0.0.1:x",
          "10.0.0.1:70000", "10.0.0.1 junk", "256.0.0.1", "host.example", "10.0.0.1:80:90"}) {
        NetAddress a = before;
        EXPECT_FALSE(ParseNetAddress(nullptr, text, a)) << text;
        EXPECT_EQ(before, a) << text;
    }
    NetAddress a = before;
    for (const char* text : {"rtp://239.1.2.3:1234", "UDP://239.1.2.3:1234", "udp:/"}) {
        EXPECT_FALSE(ParseNetAddress("udp://", text, a)) << text;
    }
    EXPECT_EQ(before, a);
}

TEST(NetAddressSockaddr, BothFamiliesAndUnknownOnes) {
    sockaddr_storage storage;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&storage);
    const auto* as = reinterpret_cast<const sockaddr*>(&storage);
    const NetAddress v4 = MakeIPv4Address(0xC0000201, 1234), v6 = IPv6({0xfe80, 0, 0, 0, 0, 0, 0, 1}, 5004);
    std::memset(&storage, 0xAB, sizeof storage);
    ASSERT_EQ(sizeof(sockaddr_in), NetAddressToSockaddr(v4, storage));
    const sockaddr_in in = reinterpret_cast<const sockaddr_in&>(storage);
    EXPECT_EQ(AF_INET, in.sin_family);
    EXPECT_EQ(htons(1234), in.sin_port);
    EXPECT_EQ(htonl(0xC0000201), in.sin_addr.s_addr);
    for (size_t i = offsetof(sockaddr_in, sin_zero); i < sizeof storage; ++i) ASSERT_EQ(0, bytes[i]) << i;
    EXPECT_EQ(v4, NetAddressFromSockaddr(as));

    std::memset(&storage, 0xAB, sizeof storage);
    ASSERT_EQ(sizeof(sockaddr_in6), NetAddressToSockaddr(v6, storage));
    const sockaddr_in6 in6 = reinterpret_cast<const sockaddr_in6&>(storage);
    EXPECT_EQ(AF_INET6, in6.sin6_family);
    EXPECT_EQ(htons(5004), in6.sin6_port);
    EXPECT_EQ(0u, in6.sin6_flowinfo | in6.sin6_scope_id);
    EXPECT_EQ(v6, NetAddressFromSockaddr(as));

    NetAddress none = v4;
    none.family = 7;
    EXPECT_EQ(0u, NetAddressToSockaddr(none, storage));
    for (size_t i = 0; i < sizeof storage; ++i) ASSERT_EQ(0, bytes[i]) << i;
    storage.ss_family = AF_UNIX;
    EXPECT_EQ(NetAddress{}, NetAddressFromSockaddr(as));
    EXPECT_EQ(NetAddress{}, NetAddressFromSockaddr(nullptr));
}

}  // namespace
