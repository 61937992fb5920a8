#include "net/NetAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

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

std::string Format(const NetAddress& a, bool withPort = false) {
    std::string text = "unchanged";
    EXPECT_TRUE(FormatNetAddress(a, text, withPort));
    return text;
}

TEST(NetAddressLayout, TwentyBytesInStoredOrder) {
    const NetAddress a = MakeIPv4Address(0xC0000201, 1234);
    uint8_t raw[20];
    std::memcpy(raw, &a, sizeof raw);
    const uint8_t expected[20] = {2, 0, 0x04, 0xD2, 192, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(raw, expected, sizeof raw));
    EXPECT_EQ(1234, NetAddressPort(a));
    EXPECT_EQ(0xC0000201u, NetAddressIPv4(a));
    EXPECT_EQ(23, IPv6({1}).family);
}

TEST(NetAddressLayout, EqualityCoversEveryField) {
    const NetAddress a = MakeIPv4Address(0x0A000001, 80);
    NetAddress b = a;
    EXPECT_EQ(a, b);
    SetNetAddressPort(b, 81);
    EXPECT_FALSE(a == b);
    b = a;
    b.address[15] = 1;  // beyond the IPv4 bytes, still compared
    EXPECT_FALSE(a == b);
    b = a;
    b.family = kNetFamilyIPv6;
    EXPECT_FALSE(a == b);
}

TEST(FormatNetAddress, IPv4WithAndWithoutPort) {
    const NetAddress a = MakeIPv4Address(0xC0000201, 1234);
    EXPECT_EQ("192.0.2.1:1234", Format(a, true));
    EXPECT_EQ("192.0.2.1", Format(a, false));
    EXPECT_EQ("255.255.255.255:65535", Format(MakeIPv4Address(0xFFFFFFFF, 65535), true));
    EXPECT_EQ("0.0.0.0:0", Format(MakeIPv4Address(0, 0), true));
}

TEST(FormatNetAddress, IPv6ZeroRunCompression) {
    EXPECT_EQ("[::]", Format(IPv6({})));
    EXPECT_EQ("[::1]", Format(IPv6({0, 0, 0, 0, 0, 0, 0, 1})));
    EXPECT_EQ("[fe80::1]", Format(IPv6({0xfe80, 0, 0, 0, 0, 0, 0, 1})));
    EXPECT_EQ("[1::]", Format(IPv6({1, 0, 0, 0, 0, 0, 0, 0})));
    EXPECT_EQ("[1:0:2::3:0:0]", Format(IPv6({1, 0, 2, 0, 0, 3, 0, 0})));
    // The longer run wins even when it comes second.
    EXPECT_EQ("[1:0:0:2::3]", Format(IPv6({1, 0, 0, 2, 0, 0, 0, 3})));
    // A lone zero group stays "0".
    EXPECT_EQ("[1:0:2:3:4:5:6:7]", Format(IPv6({1, 0, 2, 3, 4, 5, 6, 7})));
    EXPECT_EQ("[1:2:3:4:5:6:7:0]", Format(IPv6({1, 2, 3, 4, 5, 6, 7, 0})));
    EXPECT_EQ("[ab:cdef:ffff:10::]", Format(IPv6({0x00ab, 0xcdef, 0xffff, 0x0010})));
}

TEST(FormatNetAddress, IPv6FirstOfEqualRunsAndPort) {
    EXPECT_EQ("[::1:0:0:2:3:4]", Format(IPv6({0, 0, 1, 0, 0, 2, 3, 4})));
    EXPECT_EQ("[1::2:0:0:3:4]", Format(IPv6({1, 0, 0, 2, 0, 0, 3, 4})));
    EXPECT_EQ("[0:0:1::2]", Format(IPv6({0, 0, 1, 0, 0, 0, 0, 2})));
    EXPECT_EQ("[::1:0:0:2:0]", Format(IPv6({0, 0, 0, 1, 0, 0, 2, 0})));
    EXPECT_EQ("[fe80::1]:1234", Format(IPv6({0xfe80, 0, 0, 0, 0, 0, 0, 1}, 1234), true));
    EXPECT_EQ("[::]:0", Format(IPv6({}), true));
}

TEST(FormatNetAddress, OtherFamilyGivesEmptyTextAndFalse) {
    NetAddress a = MakeIPv4Address(0x7F000001, 1);
    a.family = 10;  // this platform's own IPv6 number is not a stored family
    std::string text = "previous";
    EXPECT_FALSE(FormatNetAddress(a, text, true));
    EXPECT_EQ("", text);
    EXPECT_FALSE(FormatNetAddress(NetAddress{}, text, false));
    EXPECT_EQ("", text);
}

TEST(ParseNetAddress, IPv6NeedsBracketsAndPort) {
    NetAddress a;
    EXPECT_FALSE(ParseNetAddress(nullptr, "[::1]", a));
    ASSERT_TRUE(ParseNetAddress(nullptr, "[::1]:5000", a));
    EXPECT_EQ(IPv6({0, 0, 0, 0, 0, 0, 0, 1}, 5000), a);
    ASSERT_TRUE(ParseNetAddress(nullptr, "[::]:0", a));
    EXPECT_EQ(IPv6({}, 0), a);
    ASSERT_TRUE(ParseNetAddress(nullptr, "[FE80::A:b]:1", a));
    EXPECT_EQ(IPv6({0xfe80, 0, 0, 0, 0, 0, 0xa, 0xb}, 1), a);
    ASSERT_TRUE(ParseNetAddress(nullptr, "[1:2:3:4:5:6:7:8]:65535", a));
    EXPECT_EQ(IPv6({1, 2, 3, 4, 5, 6, 7, 8}, 65535), a);
    ASSERT_TRUE(ParseNetAddress(nullptr, "[1::]:9", a));
    EXPECT_EQ(IPv6({1}, 9), a);
}

TEST(ParseNetAddress, IPv6Malformed) {
    const NetAddress before = MakeIPv4Address(0x01020304, 7);
    for (const char* text : {"[::1]:", "[::1]x5000", "[::1:5000", "[1::2::3]:80", "[1:2:3:4:5:6:7:8:9]:80",
                             "[1:2:3:4:5:6:7]:80", "[1:2:3:4::5:6:7:8]:80", "[12345::1]:80", "[:::1]:80",
                             "[1:]:80", "[g::1]:80", "[]:80", "[::1]:65536", "[::1]:80x", "[", "[::1]:-1"}) {
        NetAddress a = before;
        EXPECT_FALSE(ParseNetAddress(nullptr, text, a)) << text;
        EXPECT_EQ(before, a) << text;
    }
}

TEST(ParseNetAddress, IPv4WithAndWithoutPort) {
    NetAddress a;
    ASSERT_TRUE(ParseNetAddress(nullptr, "10.0.0.1", a));
    EXPECT_EQ(MakeIPv4Address(0x0A000001, 0), a);
    ASSERT_TRUE(ParseNetAddress(nullptr, "192.0.2.1:1234", a));
    EXPECT_EQ(MakeIPv4Address(0xC0000201, 1234), a);
    ASSERT_TRUE(ParseNetAddress(nullptr, "0.0.0.0", a));
    EXPECT_EQ(MakeIPv4Address(0, 0), a);
    // The system's dotted reading, short forms included.
    ASSERT_TRUE(ParseNetAddress(nullptr, "127.1:9", a));
    EXPECT_EQ(MakeIPv4Address(0x7F000001, 9), a);
}

TEST(ParseNetAddress, IPv4Rejected) {
    const NetAddress before = IPv6({9}, 9);
    for (const char* text : {"255.255.255.255", "255.255.255.255:80", "", ":80", "10.0.0.1:", "10.0.0.1:x",
                             "10.0.0.1:70000", "10.0.0.1 junk", "256.0.0.1", "host.example", "10.0.0.1:80:90"}) {
        NetAddress a = before;
        EXPECT_FALSE(ParseNetAddress(nullptr, text, a)) << text;
        EXPECT_EQ(before, a) << text;
    }
}

TEST(ParseNetAddress, OnlyFirst260CharactersOfIPv4Count) {
    // 260 characters of address ("10.0.0." and a long zero-padded last number); the
    // port that follows lies beyond what is read.
    const std::string address = "10.0.0." + std::string(252, '0') + "1";
    ASSERT_EQ(260u, address.size());
    NetAddress a;
    ASSERT_TRUE(ParseNetAddress(nullptr, address + ":80", a));
    EXPECT_EQ(MakeIPv4Address(0x0A000001, 0), a);
}

TEST(ParseNetAddress, Prefix) {
    NetAddress a;
    ASSERT_TRUE(ParseNetAddress("udp://", "udp://239.1.2.3:1234", a));
    EXPECT_EQ(MakeIPv4Address(0xEF010203, 1234), a);
    ASSERT_TRUE(ParseNetAddress("rtp://@", "rtp://@[ff15::7]:5004", a));
    EXPECT_EQ(IPv6({0xff15, 0, 0, 0, 0, 0, 0, 7}, 5004), a);
    EXPECT_FALSE(ParseNetAddress("udp://", "rtp://239.1.2.3:1234", a));
    EXPECT_FALSE(ParseNetAddress("udp://", "UDP://239.1.2.3:1234", a));
    EXPECT_FALSE(ParseNetAddress("udp://", "udp:/", a));
    EXPECT_TRUE(ParseNetAddress("", "1.2.3.4", a));
}

TEST(ParseNetAddress, RoundTripsFormattedText) {
    for (const NetAddress& a : {IPv6({}, 1), IPv6({0, 0, 0, 0, 0, 0, 0, 1}, 2), IPv6({1, 0, 2, 0, 0, 3, 0, 0}, 3),
                                IPv6({0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}, 65535),
                                MakeIPv4Address(0xEFFFFFFA, 1900), MakeIPv4Address(0x7F000001, 0)}) {
        std::string text;
        ASSERT_TRUE(FormatNetAddress(a, text, true));
        NetAddress back;
        ASSERT_TRUE(ParseNetAddress(nullptr, text, back)) << text;
        EXPECT_EQ(a, back) << text;
    }
}

TEST(IsMulticast, RangesAndFamilies) {
    EXPECT_TRUE(IsMulticast(MakeIPv4Address(0xE0000000, 0)));
    EXPECT_TRUE(IsMulticast(MakeIPv4Address(0xEFFFFFFF, 0)));
    EXPECT_FALSE(IsMulticast(MakeIPv4Address(0xDFFFFFFF, 0)));
    EXPECT_FALSE(IsMulticast(MakeIPv4Address(0xF0000000, 0)));
    EXPECT_TRUE(IsMulticast(IPv6({0xff02, 0, 0, 0, 0, 0, 0, 1})));
    EXPECT_TRUE(IsMulticast(IPv6({0xff00})));
    EXPECT_FALSE(IsMulticast(IPv6({0xfe80, 0, 0, 0, 0, 0, 0, 1})));
    EXPECT_FALSE(IsMulticast(NetAddress{}));
    NetAddress other = MakeIPv4Address(0xEF010101, 0);
    other.family = 0;
    EXPECT_FALSE(IsMulticast(other));
}

TEST(NetAddressSockaddr, IPv4AndIPv6Fields) {
    sockaddr_storage storage;
    std::memset(&storage, 0xAB, sizeof storage);
    ASSERT_EQ(sizeof(sockaddr_in), NetAddressToSockaddr(MakeIPv4Address(0xC0000201, 1234), storage));
    const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
    EXPECT_EQ(AF_INET, in->sin_family);
    EXPECT_EQ(htons(1234), in->sin_port);
    EXPECT_EQ(htonl(0xC0000201), in->sin_addr.s_addr);
    // Everything past the address is zero.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&storage);
    for (size_t i = sizeof(sockaddr_in) - sizeof(in->sin_zero); i < sizeof storage; ++i) ASSERT_EQ(0, bytes[i]) << i;
    EXPECT_EQ(MakeIPv4Address(0xC0000201, 1234), NetAddressFromSockaddr(reinterpret_cast<const sockaddr*>(&storage)));

    const NetAddress v6 = IPv6({0xfe80, 0, 0, 0, 0, 0, 0, 1}, 5004);
    std::memset(&storage, 0xAB, sizeof storage);
    ASSERT_EQ(sizeof(sockaddr_in6), NetAddressToSockaddr(v6, storage));
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    EXPECT_EQ(AF_INET6, in6->sin6_family);
    EXPECT_EQ(htons(5004), in6->sin6_port);
    EXPECT_EQ(0u, in6->sin6_flowinfo);
    EXPECT_EQ(0u, in6->sin6_scope_id);
    EXPECT_EQ(0, std::memcmp(&in6->sin6_addr, v6.address, 16));
    EXPECT_EQ(v6, NetAddressFromSockaddr(reinterpret_cast<const sockaddr*>(&storage)));
}

TEST(NetAddressSockaddr, UnknownFamiliesGiveZeros) {
    sockaddr_storage storage;
    std::memset(&storage, 0xAB, sizeof storage);
    NetAddress none = MakeIPv4Address(0x01020304, 5);
    none.family = 7;
    EXPECT_EQ(0u, NetAddressToSockaddr(none, storage));
    const auto* bytes = reinterpret_cast<const uint8_t*>(&storage);
    for (size_t i = 0; i < sizeof storage; ++i) ASSERT_EQ(0, bytes[i]) << i;

    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    std::strcpy(local.sun_path, "/tmp/x");
    EXPECT_EQ(NetAddress{}, NetAddressFromSockaddr(reinterpret_cast<const sockaddr*>(&local)));
    EXPECT_EQ(NetAddress{}, NetAddressFromSockaddr(nullptr));
}

}  // namespace
