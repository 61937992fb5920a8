// The feed's settings in the registry: value names, types and layouts, the history
// subkeys, and what a load makes of missing or odd values.
#include <gtest/gtest.h>

#include <cstring>

#include "feeds/RegistrySettings.h"
#include "feeds/iptv/IPTVFeed.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

constexpr const char* kKey = "Software\\Velmar\\IptvTest\\IPTVFeed";

NetAddress V6(uint8_t first, uint8_t last, uint16_t port) {
    uint8_t b[16] = {first, 0x15};
    b[15] = last;
    return MakeIPv6Address(b, port);
}

std::string Text(const char* key, const char* name) {
    char buffer[261] = {};
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, key, name, buffer, 260)) << name;
    return buffer;
}

class IptvSettingsStore : public ::testing::Test {
protected:
    ScopedRegistryHome home_;
};

TEST_F(IptvSettingsStore, NothingStoredLoadsLoopbackPort1234) {
    CIPTVFeed feed(0);
    feed.SetGroup(MakeIPv4Address(0xEF000001, 9));
    EXPECT_TRUE(feed.LoadSettings("IptvTest"));
    const IptvSettings s = feed.Settings();
    EXPECT_EQ(MakeIPv4Address(0x7F000001, 1234), s.group);
    EXPECT_EQ(MakeIPv4Address(0, 0), s.interfaceAddress);
    EXPECT_EQ(MakeIPv4Address(0, 0), s.source);
    EXPECT_EQ(0, s.ssm);
}

TEST_F(IptvSettingsStore, StoredValuesHaveTheirNamesTypesAndLayouts) {
    CIPTVFeed feed(0);
    IptvSettings s;
    s.group = MakeIPv4Address(0xEF010203, 5000);
    s.interfaceAddress = MakeIPv4Address(0x0A000001, 0);
    s.source = MakeIPv4Address(0xC0A80005, 0);
    s.ssm = 1;
    feed.SetSettings(s);
    ASSERT_TRUE(feed.SaveSettings("IptvTest"));
    EXPECT_EQ(2u, ReadRegDword(HKEY_CURRENT_USER, kKey, "AdressFamily"));
    EXPECT_EQ(5000u, ReadRegDword(HKEY_CURRENT_USER, kKey, "Port"));
    EXPECT_EQ(0xEF010203u, ReadRegDword(HKEY_CURRENT_USER, kKey, "IP4"));
    EXPECT_EQ(2u, ReadRegDword(HKEY_CURRENT_USER, kKey, "MulticastInterfaceAdressFamily"));
    EXPECT_EQ(0x0A000001u, ReadRegDword(HKEY_CURRENT_USER, kKey, "MulticastInterface"));
    EXPECT_EQ(0xC0A80005u, ReadRegDword(HKEY_CURRENT_USER, kKey, "MulticastSource"));
    EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, kKey, "SSM"));

    s.group = V6(0xff, 0x4d, 1234);
    s.interfaceAddress = V6(0xfe, 0x01, 0);
    feed.SetSettings(s);
    ASSERT_TRUE(feed.SaveSettings("IptvTest"));
    EXPECT_EQ(23u, ReadRegDword(HKEY_CURRENT_USER, kKey, "AdressFamily"));
    EXPECT_EQ("FF15000000000000000000000000004D", Text(kKey, "IP6"));
    EXPECT_EQ("FE150000000000000000000000000001", Text(kKey, "MulticastInterfaceIP6"));

    CIPTVFeed loaded(0);
    ASSERT_TRUE(loaded.LoadSettings("IptvTest"));
    EXPECT_EQ(s, loaded.Settings());
}

TEST_F(IptvSettingsStore, HistoryGoesToNumberedSubkeysInOrder) {
    CIPTVFeed feed(0);
    CIPTVFeed::History h;
    h[0].group = MakeIPv4Address(0xEF000001, 1001);
    h[1].group = V6(0xff, 0x01, 1002);
    h[2].group = MakeIPv4Address(0xEF000003, 0);  // no port: not stored
    const uint8_t loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    h[3].group = MakeIPv6Address(loopback, 1004);  // four leading zero bytes: not stored
    h[4].group = MakeIPv4Address(0xEF000005, 1005);
    h[4].ssm = 1;
    h[4].source = MakeIPv4Address(0x0A000009, 0);
    feed.SetHistory(h);
    ASSERT_TRUE(feed.SaveSettings("IptvTest"));
    const std::string key = kKey;
    EXPECT_EQ(1001u, ReadRegDword(HKEY_CURRENT_USER, (key + "\\History0").c_str(), "Port"));
    EXPECT_EQ("FF150000000000000000000000000001", Text((key + "\\History1").c_str(), "IP6"));
    for (const char* absent : {"\\History2", "\\History3"}) {
        HKEY probe = nullptr;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, (key + absent).c_str(), &probe)) << absent;
    }
    EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, (key + "\\History4").c_str(), "SSM"));

    CIPTVFeed loaded(0);
    ASSERT_TRUE(loaded.LoadSettings("IptvTest"));
    const CIPTVFeed::History back = loaded.GetHistory();
    EXPECT_EQ(h[0], back[0]);
    EXPECT_EQ(h[1], back[1]);
    EXPECT_EQ(h[4], back[4]);
    EXPECT_EQ(MakeIPv4Address(0, 0), back[2].group);  // never stored: read as zero
}

TEST_F(IptvSettingsStore, LoadMakesTheBestOfOddValues) {
    // A too-short IPv6 text leaves the address as it was; family 0 reads as IPv4; an
    // IPv6 source cancels SSM; a group port of 0 becomes 1234.
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, kKey, "AdressFamily", 23));
    ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, kKey, true, "IP6", "FF15000000000000000000000000004"));
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, kKey, "MulticastInterface", 0x0A000001));
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, kKey, "MulticastSourceFamily", 23));
    ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, kKey, true, "MulticastSourceIP6", "20010db8000000000000000000000001"));
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, kKey, "SSM", 1));

    CIPTVFeed feed(0);
    IptvSettings before;
    before.group = V6(0xff, 0x77, 9);
    feed.SetSettings(before);
    ASSERT_TRUE(feed.LoadSettings("IptvTest"));
    const IptvSettings s = feed.Settings();
    EXPECT_EQ(V6(0xff, 0x77, 1234), s.group);
    EXPECT_EQ(MakeIPv4Address(0x0A000001, 0), s.interfaceAddress);
    const uint8_t source[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(MakeIPv6Address(source, 0), s.source);
    EXPECT_EQ(0, s.ssm);
}

}  // namespace
