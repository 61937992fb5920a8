// Query strings to the character for every delivery system, and what a load makes of
// stored, missing and odd values.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "feeds/RegistrySettings.h"
#include "feeds/satip/SatIpSettings.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

struct QueryCase {
    const char* what;
    std::function<void(SatIpSettings&)> change;
    const char* query;
};

SatIpSettings Satellite() { return SatIpSettings{}; }

SatIpSettings With(uint32_t feedType, const std::function<void(SatIpSettings&)>& change) {
    SatIpSettings s;
    s.feedType = feedType;
    change(s);
    return s;
}

void ExpectQueries(uint32_t feedType, const std::vector<QueryCase>& cases) {
    for (const QueryCase& c : cases) EXPECT_EQ(c.query, BuildSatIpQuery(With(feedType, c.change))) << c.what;
}

TEST(SatIpQuery, Satellite) {
    ExpectQueries(kSatIpSatellite, {
        {"defaults", [](SatIpSettings&) {},
         "?src=1&freq=11836&pol=h&ro=0.35&msys=dvbs&mtype=qpsk&plts=off&sr=27500&fec=34&pids=all"},
        {"DVB-S ignores pilots and roll-off",
         [](SatIpSettings& s) { s.pilotTones = 1; s.rollOff = 2; s.polarisation = 1; },
         "?src=1&freq=11836&pol=v&ro=0.35&msys=dvbs&mtype=qpsk&plts=off&sr=27500&fec=34&pids=all"},
        {"DVB-S2 8PSK, roll-off 0.25, pilots",
         [](SatIpSettings& s) { s.modulationS = 2; s.rollOff = 1; s.pilotTones = 1; s.signalSource = 4; },
         "?src=4&freq=11836&pol=h&ro=0.25&msys=dvbs2&mtype=8psk&plts=on&sr=27500&fec=34&pids=all"},
        {"DVB-S2 QPSK, roll-off 0.20, circular",
         [](SatIpSettings& s) { s.modulationS = 1; s.rollOff = 2; s.polarisation = 2; s.fecS = 7; },
         "?src=1&freq=11836&pol=l&ro=0.20&msys=dvbs2&mtype=qpsk&plts=off&sr=27500&fec=35&pids=all"},
        {"DVB-S2 unknown roll-off is 0.35",
         [](SatIpSettings& s) { s.modulationS = 1; s.rollOff = 7; s.polarisation = 3; s.fecS = 8; },
         "?src=1&freq=11836&pol=r&ro=0.35&msys=dvbs2&mtype=qpsk&plts=off&sr=27500&fec=45&pids=all"},
        {"values outside the tables write nothing",
         [](SatIpSettings& s) { s.polarisation = 4; s.modulationS = 3; s.fecS = 0; s.pilotTones = 1; },
         "?src=1&freq=11836&ro=0.35&plts=off&sr=27500&pids=all"},
        {"FEC 9/10 and large numbers",
         [](SatIpSettings& s) { s.fecS = 9; s.frequencyS = 12551; s.symbolRateS = 45000; s.signalSource = 2; },
         "?src=2&freq=12551&pol=h&ro=0.35&msys=dvbs&mtype=qpsk&plts=off&sr=45000&fec=910&pids=all"},
    });
    const char* fecs[] = {"12", "23", "34", "56", "78", "89", "35", "45", "910"};
    for (uint32_t code = 1; code <= 9; ++code) {
        SatIpSettings s = Satellite();
        s.fecS = code;
        EXPECT_NE(std::string::npos, BuildSatIpQuery(s).find(std::string("&fec=") + fecs[code - 1] + "&pids")) << code;
    }
}

TEST(SatIpQuery, Terrestrial) {
    ExpectQueries(kSatIpTerrestrial, {
        {"DVB-T defaults before loading", [](SatIpSettings&) {},
         "?freq=690.0&bw=8&msys=dvbt&tmode=2k&mtype=16qam&gi=14&fec=23&pids=all"},
        {"DVB-T every table at its last entry",
         [](SatIpSettings& s) { s.bandwidthT = 3; s.transmissionMode = 2; s.modulationT = 2; s.guardInterval = 0; s.fecT = 4; },
         "?freq=690.0&bw=5&msys=dvbt&tmode=4k&mtype=64qam&gi=132&fec=78&pids=all"},
        {"DVB-T leaves out what only DVB-T2 has",
         [](SatIpSettings& s) { s.bandwidthT = 4; s.transmissionMode = 3; s.guardInterval = 4; s.plpT = 3; s.miso = 1; },
         "?freq=690.0&msys=dvbt&mtype=16qam&fec=23&pids=all"},
        {"DVB-T2 with the extended tables",
         [](SatIpSettings& s) {
             s.systemT = 1; s.frequencyT = 474; s.bandwidthT = 5; s.transmissionMode = 5; s.modulationT = 0;
             s.guardInterval = 4; s.fecT = 0; s.plpT = 255; s.t2SystemId = 65535; s.miso = 1;
         },
         "?freq=474.0&bw=1.712&msys=dvbt2&tmode=32k&mtype=qpsk&gi=1128&fec=12&plp=255&t2id=65535&sm=1&pids=all"},
        {"DVB-T2 10 MHz, 16k, 19/256",
         [](SatIpSettings& s) { s.systemT = 2; s.bandwidthT = 4; s.transmissionMode = 4; s.guardInterval = 6; s.fecT = 3; },
         "?freq=690.0&bw=10&msys=dvbt2&tmode=16k&mtype=16qam&gi=19256&fec=56&plp=0&t2id=0&sm=0&pids=all"},
        {"DVB-T2 values outside the tables",
         [](SatIpSettings& s) { s.systemT = 1; s.bandwidthT = 6; s.transmissionMode = 6; s.modulationT = 3; s.guardInterval = 7; s.fecT = 5; s.guardInterval = 5; },
         "?freq=690.0&msys=dvbt2&gi=19128&plp=0&t2id=0&sm=0&pids=all"},
    });
}

TEST(SatIpQuery, Cable) {
    ExpectQueries(kSatIpCable, {
        {"DVB-C defaults", [](SatIpSettings&) {}, "?freq=410.00&msys=dvbc&mtype=256qam&sr=6900&specinv=0&pids=all"},
        {"DVB-C 16-QAM inverted",
         [](SatIpSettings& s) { s.modulationC = 1; s.spectrumInversion = 1; s.frequencyC = 858; s.symbolRateC = 6875; },
         "?freq=858.00&msys=dvbc&mtype=16qam&sr=6875&specinv=1&pids=all"},
        {"DVB-C modulation 0 writes none", [](SatIpSettings& s) { s.modulationC = 0; },
         "?freq=410.00&msys=dvbc&sr=6900&specinv=0&pids=all"},
        {"DVB-C2", [](SatIpSettings& s) { s.systemC = 1; s.c2TuningType = 2; s.c2SymbolDuration = 1; s.c2DataSliceId = 7; s.plpC = 12; },
         "?freq=410.00&c2tft=2&bw=6&msys=dvbc2&ds=7&plp=12&pids=all"},
        {"DVB-C2 outside the tables", [](SatIpSettings& s) { s.systemC = 1; s.c2TuningType = 3; s.c2SymbolDuration = 2; },
         "?freq=410.00&msys=dvbc2&ds=0&plp=0&pids=all"},
    });
}

TEST(SatIpQuery, UnknownFeedTypeIsEmptyAndTheLongestFits) {
    EXPECT_EQ("", BuildSatIpQuery(With(3, [](SatIpSettings&) {})));
    SatIpSettings s = With(kSatIpTerrestrial, [](SatIpSettings& t) {
        t.systemT = 1; t.frequencyT = 4294967295u; t.bandwidthT = 5; t.transmissionMode = 5; t.guardInterval = 5;
        t.plpT = 255; t.t2SystemId = 65535;
    });
    const std::string query = BuildSatIpQuery(s);
    EXPECT_LE(query.size(), SatIpTarget::kQueryCapacity);
    EXPECT_EQ("&pids=all", query.substr(query.size() - 9));
}

TEST(SatIpTarget, ServerByDeliveryMode) {
    SatIpSettings s;
    s.serverAddress = MakeIPv4Address(0xC0A8B20A, 8875);
    s.manualAddress = MakeIPv4Address(0x0A000001, 0);
    SatIpTarget t;
    s.deliveryMode = kSatIpDeliveryHttp;
    RebuildSatIpTarget(s, t);
    EXPECT_EQ("http://192.168.178.10", t.httpBaseUrl);
    EXPECT_EQ(BuildSatIpQuery(s), t.query);

    s.manualSelect = 1;
    s.deliveryMode = kSatIpDeliveryRtspUnicast;
    RebuildSatIpTarget(s, t);
    EXPECT_EQ(MakeIPv4Address(0x0A000001, 554), t.rtspServer);

    const uint8_t v6[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    s.manualAddress = MakeIPv6Address(v6, 0);
    s.deliveryMode = kSatIpDeliveryHttp;
    RebuildSatIpTarget(s, t);
    EXPECT_EQ("http://[fe80::1]", t.httpBaseUrl);

    // An unknown mode touches nothing, not even the query.
    const SatIpTarget before = t;
    s.deliveryMode = 4;
    s.feedType = kSatIpCable;
    RebuildSatIpTarget(s, t);
    EXPECT_EQ(before.query, t.query);
    EXPECT_EQ(before.httpBaseUrl, t.httpBaseUrl);
}

class SatIpSettingsStore : public ::testing::Test {
protected:
    static constexpr const char* kApp = "SatIpTest";
    const std::string key_ = "Software\\Velmar\\SatIpTest\\SAT2IPFeed";
    void Put(const char* name, DWORD value) { ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, key_.c_str(), name, value)); }
    DWORD Get(const char* name) { return ReadRegDword(HKEY_CURRENT_USER, key_.c_str(), name); }
    ScopedRegistryHome home_;
};

TEST_F(SatIpSettingsStore, WithoutANameOnlyTheDefaultsAreTaken) {
    SatIpSettings s;
    s.frequencyS = 1;
    EXPECT_FALSE(LoadSatIpSettings(nullptr, s));
    SatIpSettings expected;
    expected.deliveryMode = kSatIpDeliveryRtspUnicast;
    EXPECT_EQ(expected, s);
    EXPECT_FALSE(LoadSatIpSettings("", s));
    EXPECT_FALSE(SaveSatIpSettings(nullptr, s));
}

TEST_F(SatIpSettingsStore, MissingValuesLoadAsZeroOrTheirDefault) {
    SatIpSettings s;
    ASSERT_TRUE(LoadSatIpSettings(kApp, s));
    EXPECT_EQ(kSatIpDeliveryRtspMulticast, s.deliveryMode);  // 0 reads as 3
    EXPECT_EQ(kSatIpSatellite, s.feedType);
    EXPECT_EQ(1u, s.signalSource);
    EXPECT_EQ(11836u, s.frequencyS);
    EXPECT_EQ(27500u, s.symbolRateS);
    EXPECT_EQ(3u, s.fecS);
    EXPECT_EQ(690u, s.frequencyT);
    EXPECT_EQ(410u, s.frequencyC);
    EXPECT_EQ(5u, s.modulationC);
    EXPECT_EQ(6900u, s.symbolRateC);
    // These have no replacement: missing means 0, not their value before loading.
    EXPECT_EQ(0u, s.modulationT);
    EXPECT_EQ(0u, s.guardInterval);
    EXPECT_EQ(0u, s.fecT);
    EXPECT_EQ(kNetFamilyIPv4, s.serverAddress.family);  // family 0 reads as IPv4
    EXPECT_EQ(kNetFamilyIPv4, s.manualAddress.family);
}

TEST_F(SatIpSettingsStore, StoredValuesAndTheirWidths) {
    Put("DeliveryMode", 1);
    Put("FeedType", 9);
    Put("PilotTones", 7);      // a flag: any non-zero is 1
    Put("ModulationSystem_C", 2);
    Put("PLP_T", 0x1FF);       // a byte: the low eight bits
    Put("T2SysID", 0x12345);   // sixteen bits
    Put("GuardIntervall", 6);
    Put("TransmitionMode", 5);
    Put("NoPIDAllWarning", 1);
    Put("ServerHash", 0xDEADBEEF);
    Put("ServerFamily", 23);
    Put("ServerPort", 554);
    ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, key_.c_str(), true, "ServerAddressIPv6", "FE800000000000000000000000000001"));
    SatIpSettings s;
    ASSERT_TRUE(LoadSatIpSettings(kApp, s));
    EXPECT_EQ(kSatIpDeliveryHttp, s.deliveryMode);
    EXPECT_EQ(kSatIpCable, s.feedType);
    EXPECT_EQ(1, s.pilotTones);
    EXPECT_EQ(1, s.systemC);
    EXPECT_EQ(0xFF, s.plpT);
    EXPECT_EQ(0x2345, s.t2SystemId);
    EXPECT_EQ(6u, s.guardInterval);
    EXPECT_EQ(5u, s.transmissionMode);
    EXPECT_EQ(1, s.NoPIDAllWarning);
    EXPECT_EQ(0, s.AlwaysStopSSDP);
    EXPECT_EQ(0xDEADBEEFu, s.serverHash);
    const uint8_t v6[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(MakeIPv6Address(v6, 554), s.serverAddress);
}

TEST_F(SatIpSettingsStore, SaveThenLoadGivesTheSameSettings) {
    SatIpSettings s;
    s.serverHash = 0x9B73448C;
    s.serverAddress = MakeIPv4Address(0xC0A80002, 1900);
    s.manualSelect = 1;
    s.manualAddress = MakeIPv4Address(0x0A000001, 0);
    s.deliveryMode = kSatIpDeliveryRtspUnicast;
    s.feedType = kSatIpTerrestrial;
    s.signalSource = 3;
    s.modulationS = 2;
    s.polarisation = 3;
    s.rollOff = 2;
    s.pilotTones = 1;
    s.systemT = 1;
    s.modulationT = 2;
    s.guardInterval = 6;
    s.fecT = 4;
    s.plpT = 9;
    s.t2SystemId = 4660;
    s.miso = 1;
    s.systemC = 1;
    s.c2TuningType = 2;
    s.c2SymbolDuration = 1;
    s.c2DataSliceId = 200;
    s.plpC = 100;
    s.spectrumInversion = 1;
    s.AlwaysStopSSDP = 1;
    s.NoPIDAllWarning = 1;
    ASSERT_TRUE(SaveSatIpSettings(kApp, s));
    EXPECT_EQ(2u, Get("DeliveryMode"));
    EXPECT_EQ(0xC0A80002u, Get("ServerAddress"));
    EXPECT_EQ(1900u, Get("ServerPort"));
    EXPECT_EQ(4660u, Get("T2SysID"));
    SatIpSettings loaded;
    ASSERT_TRUE(LoadSatIpSettings(kApp, loaded));
    EXPECT_EQ(s, loaded);
}

}  // namespace
