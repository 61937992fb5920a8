// The feed's settings in the registry: value names, types and layouts, the history
// subkeys, and what a load makes of missing or odd values.
#include <gtest/gtest.h>

#include "feeds/RegistrySettings.h"
#include "feeds/iptv/IPTVFeed.h"
#include "tests/feeds_iptv/IptvTestSupport.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

using iptvtest::V6;

const std::string kKey = "Software\\Velmar\\IptvTest\\IPTVFeed";

DWORD Number(const std::string& key, const char* name) { return ReadRegDword(HKEY_CURRENT_USER, key.c_str(), name); }

std::string Text(const std::string& key, const char* name) {
    char buffer[261] = {};
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, key.c_str(), name, buffer, 260)) << name;
    return buffer;
}

class IptvSettingsStore : public ::testing::Test {
protected:
    ScopedRegistryHome home_;
    CIPTVFeed feed_{0};
};

TEST_F(IptvSettingsStore, ValuesAndHistorySubkeysRoundTrip) {
    const IptvSettings s{.group = MakeIPv4Address(0xEF010203, 5000),
                         .interfaceAddress = V6(0xfe, 0x15, 0x01, 0),
                         .ssm = 1,
                         .source = MakeIPv4Address(0xC0A80005, 0)};
    CIPTVFeed::History h;
    h[0].group = V6(0xff, 0x15, 0x01, 1002);
    h[1].group = MakeIPv4Address(0xEF000003, 0);  // no port: not stored
    const uint8_t loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    h[2].group = MakeIPv6Address(loopback, 1004);  // four leading zero bytes: not stored
    h[3] = s;
    feed_.SetSettings(s);
    feed_.SetHistory(h);
    ASSERT_TRUE(feed_.SaveSettings("IptvTest"));

    EXPECT_EQ(2u, Number(kKey, "AdressFamily"));
    EXPECT_EQ(5000u, Number(kKey, "Port"));
    EXPECT_EQ(0xEF010203u, Number(kKey, "IP4"));
    EXPECT_EQ(23u, Number(kKey, "MulticastInterfaceAdressFamily"));
    EXPECT_EQ("FE150000000000000000000000000001", Text(kKey, "MulticastInterfaceIP6"));
    EXPECT_EQ(2u, Number(kKey, "MulticastSourceFamily"));
    EXPECT_EQ(0xC0A80005u, Number(kKey, "MulticastSource"));
    EXPECT_EQ(1u, Number(kKey, "SSM"));
    EXPECT_EQ("FF150000000000000000000000000001", Text(kKey + "\\History0", "IP6"));
    EXPECT_EQ(1002u, Number(kKey + "\\History0", "Port"));
    for (const char* absent : {"\\History1", "\\History2"}) {
        HKEY probe = nullptr;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, (kKey + absent).c_str(), &probe)) << absent;
    }

    CIPTVFeed loaded(0);
    loaded.LoadSettings("IptvTest");
    EXPECT_EQ(s, loaded.Settings());
    const CIPTVFeed::History back = loaded.GetHistory();
    EXPECT_EQ(h[0], back[0]);
    EXPECT_EQ(s, back[3]);
    EXPECT_EQ(MakeIPv4Address(0, 0), back[1].group);  // never stored: read as zero
}

TEST_F(IptvSettingsStore, LoadGivesDefaultsAndMakesTheBestOfOddValues) {
    feed_.SetGroup(MakeIPv4Address(0xEF000001, 9));
    feed_.LoadSettings("IptvTest");  // nothing stored: the defaults below
    EXPECT_EQ(MakeIPv4Address(0x7F000001, 1234), feed_.Settings().group);
    EXPECT_EQ(MakeIPv4Address(0, 0), feed_.Settings().interfaceAddress);
    EXPECT_EQ(0, feed_.Settings().ssm);

    // A too-short IPv6 text leaves the address as it was; family 0 reads as IPv4; an
    // IPv6 source cancels SSM; a group port of 0 becomes 1234.
    const char* key = kKey.c_str();
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, key, "AdressFamily", 23));
    ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, key, true, "IP6", "FF15000000000000000000000000004"));
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, key, "MulticastInterface", 0x0A000001));
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, key, "MulticastSourceFamily", 23));
    ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, key, true, "MulticastSourceIP6", "20010db8000000000000000000000001"));
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, key, "SSM", 1));

    feed_.SetSettings({.group = V6(0xff, 0x15, 0x77, 9)});
    feed_.LoadSettings("IptvTest");
    const IptvSettings s = feed_.Settings();
    EXPECT_EQ(V6(0xff, 0x15, 0x77, 1234), s.group);
    EXPECT_EQ(MakeIPv4Address(0x0A000001, 0), s.interfaceAddress);
    const uint8_t source[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(MakeIPv6Address(source, 0), s.source);
    EXPECT_EQ(0, s.ssm);
}

}  // namespace
