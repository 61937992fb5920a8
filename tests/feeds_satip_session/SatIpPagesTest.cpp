// The configuration pages on their own: a sheet built for a server's capabilities and
// worked by a scripted presenter.
#include <gtest/gtest.h>

#include "feeds/satip/SATIPFeed.h"
#include "feeds/satip/SatIpCapabilities.h"
#include "feeds/satip/SatIpPages.h"
#include "host/HostResources.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

using Sat = CSatIpSatellitePage;
using Ter = CSatIpTerrestrialPage;
using Cab = CSatIpCablePage;

class SatIpPages : public ::testing::Test {
protected:
    void SetUp() override { RegisterHostResources(); }

    INT_PTR Run(uint32_t mask) {
        SatIpSheetState state{settings_, mask, servers_, nullptr};
        const INT_PTR ended = RunSatIpPropertySheet(nullptr, state);
        result_ = state.result;
        EXPECT_EQ(presenter_.StepsLeft(), 0u);
        EXPECT_TRUE(presenter_.Problems().empty()) << presenter_.Problems().front();
        return ended;
    }
    const DialogState& Shown() { return presenter_.Dialogs().at(0).Shown(); }
    const ControlState* Tabs(const DialogState& state) {
        for (const ControlState& c : state.controls)
            if (c.className == WC_TABCONTROL) return &c;
        return nullptr;
    }

    ScopedRegistryHome home_;
    ScriptedPresenter presenter_;
    ScopedPresenter scope_{&presenter_};
    SatIpSettings settings_;
    SatIpServerList servers_;
    INT_PTR result_ = -1;
};

TEST_F(SatIpPages, OnePagePerOfferedSystem) {
    struct Case {
        uint32_t mask;
        std::vector<std::string> tabs;
    } cases[] = {
        {kSatIpCapDvbS2, {"DVB-S/S2"}},
        {kSatIpCapDvbT2, {"DVB-T/T2"}},
        {kSatIpCapDvbC | kSatIpCapDvbT, {"DVB-T/T2", "DVB-C/C2"}},
        {kSatIpCapAll, {"DVB-S/S2", "DVB-T/T2", "DVB-C/C2"}},
    };
    for (const Case& c : cases) {
        presenter_ = ScriptedPresenter();
        presenter_.Cancel();
        EXPECT_LE(Run(c.mask), 0);
        const ControlState* tabs = Tabs(Shown());
        ASSERT_NE(tabs, nullptr);
        EXPECT_EQ(tabs->items, c.tabs) << c.mask;
        EXPECT_EQ(result_, 0);
    }
}

TEST_F(SatIpPages, OpensOnTheFeedTypesPageAndTheHelpButtonChoosesAServer) {
    settings_.feedType = kSatIpCable;
    presenter_.Cancel();
    Run(kSatIpCapAll);
    const ControlState* tabs = Tabs(Shown());
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->selection, 2);
    const ControlState* help = Shown().Find(IDHELP);
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->text, "&Select SAT>IP Server");
    EXPECT_TRUE(help->enabled);
}

TEST_F(SatIpPages, ChoosingDvbSDropsTheDvbS2Choices) {
    settings_.modulationS = 2;
    settings_.rollOff = 1;
    settings_.pilotTones = 1;
    presenter_.Check(Sat::kDvbS).Ok();
    EXPECT_EQ(Run(kSatIpCapDvbS2), 1);
    const DialogState& after = presenter_.Dialogs().at(0).states.at(1);
    for (int id : {Sat::k8psk, Sat::kRollOff025, Sat::kRollOff020, Sat::kPilotsOn})
        EXPECT_FALSE(after.Find(id)->enabled) << id;
    EXPECT_EQ(settings_.modulationS, 0u);
    EXPECT_EQ(settings_.rollOff, 0u);
    EXPECT_EQ(settings_.pilotTones, 0);
    EXPECT_EQ(result_, SatIpSheetState::kApplied);
    EXPECT_EQ(BuildSatIpQuery(settings_),
              "?src=1&freq=11836&pol=h&ro=0.35&msys=dvbs&mtype=qpsk&plts=off&sr=27500&fec=34&pids=all");
}

TEST_F(SatIpPages, SatelliteFieldsRoundTrip) {
    presenter_.Type(Sat::kFrequency, "12188")
        .Type(Sat::kSymbolRate, "22000")
        .Check(Sat::kPolH + 1)
        .Check(Sat::kDvbS2)
        .Check(Sat::k8psk)
        .Check(Sat::kSource1 + 2)
        .Select(Sat::kFec, 6)
        .Check(Sat::kRollOff025)
        .Check(Sat::kPilotsOn)
        .Ok();
    EXPECT_EQ(Run(kSatIpCapDvbS2), 1);
    EXPECT_EQ(BuildSatIpQuery(settings_),
              "?src=3&freq=12188&pol=v&ro=0.25&msys=dvbs2&mtype=8psk&plts=on&sr=22000&fec=35&pids=all");
}

TEST_F(SatIpPages, TerrestrialFollowsTheServersSystems) {
    // DVB-T2 only: DVB-T cannot be chosen and the T2 lists are offered.
    settings_.feedType = kSatIpTerrestrial;
    settings_.guardInterval = 5;
    presenter_.Select(Ter::kBandwidth, 5).Ok();
    EXPECT_EQ(Run(kSatIpCapDvbT2), 1);
    const DialogState& shown = Shown();
    EXPECT_FALSE(shown.Find(Ter::kDvbT)->enabled);
    EXPECT_EQ(shown.Find(Ter::kDvbT2)->check, BST_CHECKED);
    EXPECT_EQ(shown.Find(Ter::kBandwidth)->items.size(), 6u);
    EXPECT_EQ(shown.Find(Ter::kGuard)->selection, 5);
    EXPECT_EQ(settings_.systemT, 1u);
    EXPECT_EQ(settings_.bandwidthT, 5u);

    // DVB-T only: the T2 choices fall back and PLP, system id and MISO are off.
    presenter_ = ScriptedPresenter();
    settings_.systemT = 1;
    settings_.transmissionMode = 4;
    presenter_.Ok();
    EXPECT_EQ(Run(kSatIpCapDvbT), 1);
    const DialogState& t = Shown();
    EXPECT_EQ(t.Find(Ter::kDvbT)->check, BST_CHECKED);
    EXPECT_EQ(t.Find(Ter::kBandwidth)->selection, 0);
    EXPECT_EQ(t.Find(Ter::kMode)->selection, 0);
    EXPECT_EQ(t.Find(Ter::kGuard)->selection, 3);
    for (int id : {Ter::kPlp, Ter::kSystemId, Ter::kMisoOn}) EXPECT_FALSE(t.Find(id)->enabled) << id;
    EXPECT_EQ(BuildSatIpQuery(settings_), "?freq=690.0&bw=8&msys=dvbt&tmode=2k&mtype=16qam&gi=14&fec=23&pids=all");
}

TEST_F(SatIpPages, CableShowsTheGroupOfItsSystem) {
    settings_.feedType = kSatIpCable;
    settings_.modulationC = 9;
    presenter_.Check(Cab::kDvbC2).Check(Cab::kTuning0 + 1).Check(Cab::k6MHz).Type(Cab::kDataSlice, "3").Ok();
    EXPECT_EQ(Run(kSatIpCapDvbC | kSatIpCapDvbC2), 1);
    const DialogState& shown = Shown();
    EXPECT_TRUE(shown.Find(Cab::kModulation)->visible);
    EXPECT_EQ(shown.Find(Cab::kModulation)->selection, 4);  // unknown code: 256-QAM
    EXPECT_FALSE(shown.Find(Cab::kDataSlice)->visible);
    const DialogState& switched = presenter_.Dialogs().at(0).states.at(1);
    EXPECT_FALSE(switched.Find(Cab::kModulation)->visible);
    EXPECT_TRUE(switched.Find(Cab::kDataSlice)->visible);
    EXPECT_EQ(BuildSatIpQuery(settings_), "?freq=410.00&c2tft=1&bw=6&msys=dvbc2&ds=3&plp=0&pids=all");
}

TEST_F(SatIpPages, OnlyTheLastActivePageWritesItsValues) {
    settings_.feedType = kSatIpSatellite;
    presenter_.Type(Sat::kFrequency, "11000").SelectPage(2).Type(Cab::kFrequency, "474").Ok();
    EXPECT_EQ(Run(kSatIpCapAll), 1);
    EXPECT_EQ(settings_.feedType, static_cast<uint32_t>(kSatIpCable));
    EXPECT_EQ(settings_.frequencyC, 474u);
    EXPECT_EQ(settings_.frequencyS, 11836u);
}

TEST(SatIpTransponderImport, DecodesTheDescriptorAndKnownPositions) {
    // 11.836 GHz, vertical, 27.5 MS/s; byte 8 carries polarisation and modulation.
    auto descriptor = [](uint8_t flags) {
        return std::array<uint8_t, 13>{0x43, 0x0B, 0x01, 0x18, 0x36, 0x00, 0x01, 0x92,
                                       flags, 0x02, 0x75, 0x00, 0x03};
    };
    struct Case {
        uint16_t position;
        uint8_t flags;
        uint32_t source, polarisation, modulation;
    } cases[] = {
        {0x0192, 0x21, 1, 1, 0},  // 19.2 E, vertical, DVB-S
        {0x0130, 0x05, 2, 0, 1},  // 13.0 E, DVB-S2 QPSK
        {0x0282, 0x46, 3, 2, 2},  // 28.2 E, circular left, 8PSK
        {0x0235, 0x64, 4, 3, 1},
        {0x0050, 0x07, 4, 0, 1},  // unknown position and modulation 7: both kept
    };
    SatIpSettings s;
    s.signalSource = 4;
    s.modulationS = 1;
    for (const Case& c : cases) {
        const auto d = descriptor(c.flags);
        CSatIpSatellitePage::TakeTransponder(s, c.position, d.data());
        EXPECT_EQ(s.frequencyS, 11836u);
        EXPECT_EQ(s.symbolRateS, 27500u);
        EXPECT_EQ(s.signalSource, c.source) << c.position;
        EXPECT_EQ(s.polarisation, c.polarisation) << c.position;
        EXPECT_EQ(s.modulationS, c.modulation) << c.position;
    }
}

TEST(SatIpFeedRules, KeepAliveAtHalfTheSessionTimeoutAcrossTheTickWrap) {
    struct Case {
        uint32_t now, last;
        int timeout;
        bool due;
    } cases[] = {
        {15000, 0, 30, false}, {15001, 0, 30, true},       {2501, 0, 5, true},
        {2500, 0, 5, false},   {0x00002000, 0xFFFFF000, 30, false},
        {0x00003B00, 0xFFFFF000, 30, true},                 {100, 0, 0, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CSATIPFeed::KeepAliveDue(c.now, c.last, c.timeout), c.due) << c.now << " " << c.last;
}

}  // namespace

namespace {

TEST(SatIpFeedRules, PidListsAreCheckedBeforeTheyReachAQuery) {
    struct Case {
        const char* pids;
        bool valid;
    } cases[] = {
        {"all", true},      {"none", true},        {"0", true},          {"0,16,17,8191", true},
        {"8192", false},    {"", false},           {"0,,1", false},      {"1,", false},
        {"-1", false},      {"0x10", false},       {"12345", false},     {"1&fe=2", false},
        {"ALL", false},
    };
    for (const Case& c : cases) EXPECT_EQ(CSATIPFeed::PidListValid(c.pids), c.valid) << c.pids;
    std::string many;
    for (int i = 0; i < 64; ++i) many += std::to_string(i) + ",";
    many.pop_back();
    EXPECT_TRUE(CSATIPFeed::PidListValid(many));
    EXPECT_FALSE(CSATIPFeed::PidListValid(many + ",64"));
}

}  // namespace
