// Classification by name, defaults, the request plans, frequency texts and stored settings.
#include <gtest/gtest.h>

#include <string>

#include "feeds/RegistrySettings.h"
#include "feeds/bda/BdaDeliverySystem.h"
#include "feeds/bda/BdaFrequencyText.h"
#include "feeds/bda/BdaSettings.h"
#include "feeds/bda/BdaTuneRequestPlan.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

using Plan = BdaTuneRequestPlan;
using B = Plan::Builder;

TuningParameters Record(std::initializer_list<std::pair<int, uint32_t>> words) {
    TuningParameters r{};
    for (auto [i, v] : words) r.word[i] = v;
    return r;
}

TEST(BdaClassification, FirstMatchingRowOfTheNameTableWins) {
    const std::pair<const char*, int32_t> cases[] = {
        {"TT-connect S2 DVB-S2", kFeedDvbS2},
        {"TT-connect C DVB-C", kFeedDvbC},
        {"TT-connect", kFeedDvbS},
        {"Tuner DVBS2", kFeedDvbS2},
        {"Hauppauge 4XXe", kFeedDvbS2},
        {"Card DVB-S", kFeedDvbS},
        {"Card DVBS", kFeedDvbS},
        {"Pinnacle Stargate 1", kFeedDvbS},
        {"TechniSat BDA Digital Tuner", kFeedDvbS},
        {"Box DVB-C2", kFeedDvbC2},
        {"Box DVBC", kFeedDvbC},
        {"Combo DVB-C DVB-T", kFeedDvbC},
        {"Stick DVB-T2", kFeedDvbT2},
        {"ASTROMETA DTV filter", kFeedDvbT2},
        {"Stick DVB-T", kFeedDvbT},
        {"Some TV-Stick", kFeedDvbT},
        {"AVerMedia Hybrid TV BDA Tuner (XC3018)", kFeedDvbT},
        {"Realtek 2831U", kFeedDvbT},
        {"Generic AF9015", kFeedDvbT},
        {"Cinergy 2400i", kFeedDvbT},
        {"ATSC Tuner", kFeedAtsc},
        {"dvb-t stick", kFeedNone},
        {"tt-connect", kFeedNone},
        {"atsc", kFeedNone},
        {"Plain tuner", kFeedNone},
    };
    for (const auto& [name, type] : cases)
        EXPECT_EQ(ClassifyBdaDetails((std::string("BDA: ") + name).c_str()), type) << name;
    EXPECT_EQ(ClassifyBdaDetails(nullptr), kFeedNone);
}

TEST(BdaClassification, CapabilitiesAndDefaultsPerType) {
    struct Case {
        int32_t type;
        uint32_t caps;
        uint32_t w1, w2, w5, w7;
    };
    const Case cases[] = {{kFeedDvbS, 0x001, 11836000, 27500000, 1, 0}, {kFeedDvbS2, 0x041, 11836000, 27500000, 1, 0},
                          {kFeedDvbC, 0x002, 410000, 6900000, 0, 3},    {kFeedDvbC2, 0x102, 410000, 6900000, 0, 3},
                          {kFeedDvbT, 0x004, 538000, 0, 0, 0},          {kFeedDvbT2, 0x084, 538000, 0, 0, 0},
                          {kFeedAtsc, 0x400, 46, 0, 0, 0}};
    for (const Case& c : cases) {
        TuningParameters r = Record({{3, 99}, {8, 99}});
        EXPECT_EQ(BdaCapabilities(c.type), c.caps) << c.type;
        ASSERT_TRUE(SetBdaDefaultTuning(c.type, r)) << c.type;
        const TuningParameters want = Record({{0, uint32_t(c.type)}, {1, c.w1}, {2, c.w2}, {5, c.w5}, {7, c.w7}});
        EXPECT_EQ(std::memcmp(&r, &want, sizeof r), 0) << c.type;
    }
    TuningParameters untouched = Record({{1, 5}});
    for (int32_t type : {-1, 0, 4, 5, 6, 10, 12}) {
        EXPECT_EQ(BdaCapabilities(type), 0u) << type;
        EXPECT_FALSE(SetBdaDefaultTuning(type, untouched)) << type;
        EXPECT_EQ(untouched.word[1], 5u);
    }
}

TEST(BdaTuneRequestPlan, StartMapsTheOwnRecordPerDeliverySystem) {
    struct Case {
        const char* what;
        TuningParameters record;
        std::optional<Plan> plan;
    };
    const Case cases[] = {
        {"DVB-S QPSK, horizontal", Record({{0, 1}, {1, 11836000}, {2, 27500999}, {6, 0}, {7, 0}}),
         Plan{B::DvbS, 11836000, 27500, 1, 0}},
        {"DVB-S vertical, any non-zero word", Record({{0, 1}, {1, 1}, {2, 999}, {6, 7}, {7, 0}}),
         Plan{B::DvbS, 1, 0, uint32_t(1 - 7), 0}},
        {"DVB-S with an S2 code", Record({{0, 1}, {1, 2}, {2, 3000}, {6, 1}, {7, 2}}),
         Plan{B::DvbSModulated, 2, 3, 0, 2}},
        {"DVB-S2 always modulated", Record({{0, 7}, {1, 2}, {2, 3000}, {7, 0}}), Plan{B::DvbSModulated, 2, 3, 1, 0}},
        {"DVB-C 256", Record({{0, 2}, {1, 410000}, {2, 6900000}, {7, 5}}), Plan{B::DvbC, 410000, 6900, 0, 0, 256}},
        {"DVB-C2 128", Record({{0, 9}, {1, 1}, {2, 1000}, {7, 4}}), Plan{B::DvbC, 1, 1, 0, 0, 128}},
        {"DVB-C code 0 tunes 64", Record({{0, 2}, {7, 0}}), Plan{B::DvbC, 0, 0, 0, 0, 64}},
        {"DVB-T 8 MHz", Record({{0, 3}, {1, 538000}, {8, 0}}), Plan{B::DvbT, 538000, 0, 0, 0, 0, 8}},
        {"DVB-T2 6 MHz", Record({{0, 8}, {1, 1}, {8, 2}}), Plan{B::DvbT, 1, 0, 0, 0, 0, 6}},
        {"DVB-T 5 MHz cannot be built", Record({{0, 3}, {8, 3}}), std::nullopt},
        {"ATSC channel", Record({{0, 11}, {1, 46}}), Plan{B::Atsc, 46}},
        {"unknown code", Record({{0, 4}, {1, 46}}), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(PlanStartRequest(c.record), c.plan) << c.what;
}

TEST(BdaTuneRequestPlan, TuneUsesTheGivenRecordExceptForSatellite) {
    const TuningParameters own = Record({{0, 1}, {1, 11836000}, {2, 27500000}, {6, 1}, {7, 0}});
    struct Case {
        const char* what;
        TuningParameters given;
        std::optional<Plan> plan;
    };
    const Case cases[] = {
        {"satellite ignores the given frequency", Record({{0, 1}, {1, 10000000}, {2, 1000}, {6, 0}}),
         Plan{B::DvbS, 11836000, 27500, 0, 0}},
        {"S2 code takes the modulated builder", Record({{0, 7}, {1, 5}}), Plan{B::DvbSModulated, 11836000, 27500, 0, 0}},
        {"cable from the given record", Record({{0, 2}, {1, 346000}, {2, 6875000}, {7, 1}}),
         Plan{B::DvbC, 346000, 6875, 0, 0, 16}},
        {"cable code 0 is refused", Record({{0, 2}, {7, 0}}), std::nullopt},
        {"cable code 6 is refused", Record({{0, 9}, {7, 6}}), std::nullopt},
        {"terrestrial 7 MHz", Record({{0, 3}, {1, 506000}, {8, 1}}), Plan{B::DvbT, 506000, 0, 0, 0, 0, 7}},
        {"terrestrial code 3 refused", Record({{0, 8}, {8, 3}}), std::nullopt},
        {"ATSC", Record({{0, 11}, {1, 7}}), Plan{B::Atsc, 7}},
        {"code 0", Record({{1, 7}}), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(PlanTuneRequest(own, c.given), c.plan) << c.what;
}

TEST(BdaFrequencyText, DisplayAndEntryRules) {
    const std::pair<uint32_t, const char*> shown[] = {
        {11836000, "11836"}, {11836500, "11836.500562"}, {46, "0.046000"}, {0, "0"}, {538000, "538"}};
    for (const auto& [value, text] : shown) EXPECT_EQ(FormatBdaFrequency(value), text) << value;
    const std::pair<const char*, uint32_t> entered[] = {
        {"11836,5", 11836500}, {"11836.5", 11836500}, {"0.046", 46}, {"0,046", 46},   {"538", 538000},
        {"  12.3abc", 12300}, {"abc", 0},            {"", 0},       {"-5", 0},       {"1e30", 0xFFFFFFFFu},
        {"4294967.295", 4294967295u}};
    for (const auto& [text, value] : entered) EXPECT_EQ(ParseBdaFrequency(text), value) << text;
    EXPECT_EQ(ParseBdaFrequency(nullptr), 0u);
    // Only the first 99 characters count.
    EXPECT_EQ(ParseBdaFrequency((std::string(98, ' ') + "12").c_str()), 1000u);
}

class BdaSettingsTest : public ::testing::Test {
protected:
    static constexpr const char* kApp = "Kestrel Test";
    static constexpr const char* kName = "Sim DVB-S2 Tuner";
    std::string Key() const { return BdaSettingsKey(kApp, kName); }
    ScopedRegistryHome home;
};

TEST_F(BdaSettingsTest, KeyNamesApplicationAndTuner) {
    EXPECT_EQ(Key(), "Software\\Velmar\\Kestrel Test\\BDAFeed Sim DVB-S2 Tuner");
}

TEST_F(BdaSettingsTest, SaveThenLoadRoundTripsTheStoredWordsOnly) {
    const TuningParameters saved = Record({{0, 7}, {1, 12188000}, {2, 27500000}, {5, 1}, {6, 1}, {7, 2}, {8, 1}});
    SaveBdaSettings(kApp, kName, saved, kFeedDvbS2);
    TuningParameters loaded = Record({{0, 1}, {5, 0}, {3, 42}});
    int32_t last = 3;
    LoadBdaSettings(kApp, kName, loaded, last);
    EXPECT_EQ(loaded.word[0], 1u) << "word 0 is not stored";
    EXPECT_EQ(loaded.word[5], 0u) << "word 5 is not stored";
    EXPECT_EQ(loaded.word[3], 42u);
    for (int i : {1, 2, 6, 7, 8}) EXPECT_EQ(loaded.word[i], saved.word[i]) << i;
    EXPECT_EQ(last, kFeedDvbS2);
}

TEST_F(BdaSettingsTest, LoadRules) {
    struct Case {
        const char* what;
        DWORD frequency;  // 0: none stored
        std::optional<DWORD> lastType;
        uint32_t wantW1;
        uint32_t wantW2;
        int32_t wantLast;
    };
    const Case cases[] = {
        {"no frequency keeps everything", 0, 7, 538000, 99, 3},
        {"stored type 11 loads as 3", 506000, 11, 506000, 0, 3},
        {"missing type loads as 3", 506000, std::nullopt, 506000, 0, 3},
        {"type 9 kept", 506000, 9, 506000, 0, 9},
        {"type 8 kept", 506000, 8, 506000, 0, 8},
        {"type 4 loads as 3", 506000, 4, 506000, 0, 3},
    };
    for (const Case& c : cases) {
        RegDeleteTreeA(HKEY_CURRENT_USER, Key().c_str());
        if (c.frequency) WriteRegDword(HKEY_CURRENT_USER, Key().c_str(), "Frequency", c.frequency);
        if (c.lastType) WriteRegDword(HKEY_CURRENT_USER, Key().c_str(), "LastBDAFeedType", *c.lastType);
        TuningParameters r = Record({{1, 538000}, {2, 99}});
        int32_t last = 3;
        LoadBdaSettings(kApp, kName, r, last);
        EXPECT_EQ(r.word[1], c.wantW1) << c.what;
        EXPECT_EQ(r.word[2], c.wantW2) << c.what << ": a missing value reads as 0";
        EXPECT_EQ(last, c.wantLast) << c.what;
    }
}

}  // namespace

#include "feeds/bda/BdaConnectLog.h"

namespace {

TEST(BdaConnectLog, DrivePathsMapIntoTheSettingsDirectory) {
    ScopedRegistryHome home;
    const std::pair<const char*, std::string> cases[] = {
        {"C:\\Brix BDA Log.txt", home.Path() + "/drive_c/Brix BDA Log.txt"},
        {"d:\\logs\\a.txt", home.Path() + "/drive_d/logs/a.txt"},
        {"relative.txt", "relative.txt"},
        {"C:relative", "C:relative"},
        {"", ""},
    };
    for (const auto& [drive, mapped] : cases) EXPECT_EQ(MapDrivePath(drive), mapped) << drive;
}

TEST(BdaConnectLog, HeaderIsCutToTheLineBuffer) {
    EXPECT_EQ(BdaConnectLogHeader("Dec  6 2026", "21:00:45", "Sun Dec  6 21:00:45 2026\n"),
              u"BDA Connect log (build time Dec  6 2026 21:00:45, local time Sun Dec  6 21:00:45 2026\n)\r\n");
    EXPECT_EQ(BdaConnectLogHeader(std::string(400, 'x').c_str(), "", "").size(), 259u);
}

}  // namespace
