#include "net/InterfaceList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/support/NetNamespace.h"

namespace {

NetAddress V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return MakeIPv4Address(uint32_t(a) << 24 | b << 16 | c << 8 | d, 0); }
NetAddress V6(uint16_t first, uint16_t last) {
    uint8_t bytes[16] = {uint8_t(first >> 8), uint8_t(first)};
    bytes[14] = uint8_t(last >> 8), bytes[15] = uint8_t(last);
    return MakeIPv6Address(bytes, 0);
}

bool Holds(const NetInterface& item, const NetAddress& address) {
    return std::find(item.addresses.begin(), item.addresses.end(), address) != item.addresses.end();
}

}  // namespace

// In a namespace of the test's own: kia (up) with 10.77.0.1 and fd07::1, its veth peer
// kib (down) with fd07::2 only.
TEST(InterfaceList, NamesAndAddressesResolveForTheirFamilyOnly) {
    NetNamespace ns("ifl");
    ASSERT_TRUE(ns.Created());
    ASSERT_TRUE(ns.In("link add kia type veth peer name kib") && ns.In("addr add 10.77.0.1/24 dev kia") &&
                ns.In("addr add fd07::1/64 dev kia nodad") && ns.In("addr add fd07::2/64 dev kib nodad") &&
                ns.In("link set kia up"));
    const unsigned kia = 0, kib = 1;  // positions in `names`
    const std::string names[] = {"kia", "kib"};
    struct Case {
        const char* text;
        uint16_t family;
        int expected;           // position in names, or -1 for a refusal
        NetAddress address;     // family 0: any address of the family
        const char* error = "";
    };
    const Case cases[] = {
        {"kia", kNetFamilyIPv4, kia, V4(10, 77, 0, 1)},
        {"kia", kNetFamilyIPv6, kia, {}},
        {"10.77.0.1", kNetFamilyIPv4, kia, V4(10, 77, 0, 1)},
        {"fd07::2", kNetFamilyIPv6, kib, V6(0xfd07, 2)},
        {"[fd07::2]", kNetFamilyIPv6, kib, V6(0xfd07, 2)},
        {"kib", kNetFamilyIPv6, kib, V6(0xfd07, 2)},
        {"kib", kNetFamilyIPv4, -1, {}, "interface \"kib\" has no IPv4 address"},
        {"10.77.0.1", kNetFamilyIPv6, -1, {},
         "\"10.77.0.1\" is an IPv4 address, but the stream is IPv6: give an IPv6 address or an interface name"},
        {"fd07::1", kNetFamilyIPv4, -1, {},
         "\"fd07::1\" is an IPv6 address, but the stream is IPv4: give an IPv4 address or an interface name"},
        {"10.77.0.9", kNetFamilyIPv4, -1, {}, "\"10.77.0.9\" is not an address of this computer (see kestrel interfaces)"},
        {"eth0", kNetFamilyIPv4, -1, {}, "no interface is named \"eth0\" (see kestrel interfaces)"},
        {"", kNetFamilyIPv4, -1, {}, "no interface given (a name such as eth0, or one of its addresses)"},
    };
    ASSERT_TRUE(ns.Run([&] {
        std::vector<NetInterface> interfaces;
        ASSERT_TRUE(ListNetInterfaces(&interfaces, nullptr));
        ASSERT_EQ(interfaces.size(), 3u);
        EXPECT_TRUE(interfaces[0].loopback && interfaces[0].up);
        EXPECT_TRUE(Holds(interfaces[0], V4(127, 0, 0, 1)));
        EXPECT_TRUE(std::is_sorted(interfaces.begin(), interfaces.end(),
                                   [](const auto& a, const auto& b) { return a.index < b.index; }));
        std::map<std::string, NetInterface> byName;
        for (const auto& i : interfaces) byName[i.name] = i;
        EXPECT_TRUE(byName["kia"].up && byName["kia"].multicast && !byName["kia"].loopback);
        EXPECT_FALSE(byName["kib"].up);
        EXPECT_EQ(byName["kia"].addresses.front(), V4(10, 77, 0, 1)) << "IPv4 first";
        EXPECT_TRUE(Holds(byName["kia"], V6(0xfd07, 1)));
        EXPECT_EQ(byName["kib"].addresses, std::vector<NetAddress>{V6(0xfd07, 2)});

        for (const Case& c : cases) {
            std::string error;
            const auto choice = ResolveInterface(c.text, c.family, &error);
            if (c.expected < 0) {
                EXPECT_FALSE(choice) << c.text;
                EXPECT_EQ(error, c.error);
                continue;
            }
            ASSERT_TRUE(choice) << c.text << ": " << error;
            const NetInterface& item = byName[names[c.expected]];
            EXPECT_EQ(choice->name, item.name) << c.text;
            EXPECT_EQ(choice->index, item.index) << c.text;
            EXPECT_EQ(choice->address.family, c.family) << c.text;
            if (c.address.family) {
                EXPECT_EQ(choice->address, c.address) << c.text;
            } else {
                EXPECT_TRUE(Holds(item, choice->address)) << c.text;
            }
        }
    }));
}
