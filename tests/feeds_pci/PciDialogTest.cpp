// The card's three tuning dialogs worked by a scripted presenter over a simulated card:
// what they show, what OK writes into the record, the DiSEqC messages and the tune.
#include <gtest/gtest.h>

#include <filesystem>

#include "feeds/pci/DvbCDialog.h"
#include "feeds/pci/DvbSDialog.h"
#include "feeds/pci/DvbTDialog.h"
#include "feeds/pci/VMDVBPCIFeed.h"
#include "feeds/transponders/TransponderListDialog.h"
#include "host/HostResources.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/feeds_pci/PciTestSupport.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

using S = CDvbSDialog;

class PciDialogTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterHostResources(); }
    void TearDown() override {
        EXPECT_EQ(presenter.StepsLeft(), 0u);
        EXPECT_TRUE(presenter.Problems().empty()) << presenter.Problems().front();
    }
    const ScriptedPresenter::ShownDialog& Last(const std::string& name) const {
        for (auto it = presenter.Dialogs().rbegin(); it != presenter.Dialogs().rend(); ++it)
            if (it->name == name) return *it;
        throw std::runtime_error("no dialog " + name);
    }
    const ControlState& Shown(int id, size_t dialog = 0) const {
        return *presenter.Dialogs().at(dialog).Shown().Find(id);
    }

    ScopedRegistryHome home;
    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
};

}  // namespace

TEST_F(PciDialogTest, SatelliteOkSetsTheHighBandAboveElevenSevenAndSwitchesTheInput) {
    struct Case {
        const char* mhz;
        int polarisation, input;
        uint32_t highBand;
        uint8_t switchByte;
    };
    const Case cases[] = {{"11700", S::kHorizontal, S::kInputA, 0, 0xF2},
                          {"11701", S::kHorizontal, S::kInputA, 1, 0xF3},
                          {"10744", S::kVertical, S::kInputA + 1, 0, 0xF4},
                          {"12551", S::kVertical, S::kInputD, 1, 0xFD}};
    for (const Case& c : cases) {
        DeclaredCard card(DeclaredCardOf("QUARNOX0"));
        CVMDVBPCIFeed feed(0);
        presenter.Type(S::kFrequencyEdit, c.mhz).Type(S::kSymbolRateEdit, "22000").Check(c.polarisation).Check(c.input).Ok();
        EXPECT_TRUE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
        const TuningParameters& r = feed.Record();
        EXPECT_EQ(r.word[1], std::stoul(c.mhz) * 1000) << c.mhz;
        EXPECT_EQ(r.word[2], 22'000'000u);
        EXPECT_EQ(r.word[5], c.highBand) << c.mhz;
        EXPECT_EQ(r.word[6], c.polarisation == S::kVertical ? 1u : 0u);
        EXPECT_EQ(feed.DiseqcInput(), c.input - S::kInputA);
        const auto sent = card->DiseqcMessages();
        ASSERT_EQ(sent.size(), 3u);
        EXPECT_EQ(sent[0], (std::vector<uint8_t>{0xE0, 0x10, 0x38, c.switchByte})) << c.mhz;
        EXPECT_EQ(sent[1][0], 0xE1);
        EXPECT_EQ(sent[2], (std::vector<uint8_t>{0xE1, 0x10, 0x38, c.switchByte}));
        ASSERT_EQ(card->Tunes().size(), 1u);
        EXPECT_EQ(card->Tunes()[0][1], r.word[1]);
    }
}

TEST_F(PciDialogTest, SatelliteDialogShowsTheMirrorsAndOffersModulationOnlyOnDvbS2) {
    for (uint32_t type : {1u, 7u}) {
        DeclaredCard card(DeclaredCardOf("QUARNOX0", type, type == 7 ? 12 : 2));
        CVMDVBPCIFeed feed(0);
        feed.Record().word[7] = 2;
        feed.SetDiseqcInput(2);
        presenter.Cancel();
        EXPECT_FALSE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
        const size_t d = presenter.Dialogs().size() - 1;
        EXPECT_EQ(presenter.Dialogs()[d].name, "DVBPCIFEEDCONFIGDLG");
        EXPECT_EQ(Shown(S::kFrequencyEdit, d).text, "11836");
        EXPECT_EQ(Shown(S::kSymbolRateEdit, d).text, "27500");
        EXPECT_EQ(Shown(S::kHorizontal, d).check, int{BST_CHECKED});
        EXPECT_EQ(Shown(S::kInputA + 2, d).check, int{BST_CHECKED});
        EXPECT_EQ(Shown(S::kDvbS28psk, d).check, int{BST_CHECKED});
        EXPECT_EQ(Shown(S::kDvbSQpsk, d).enabled, type == 7);
        EXPECT_TRUE(card->Tunes().empty()) << "Cancel tunes nothing";
        EXPECT_TRUE(card->DiseqcMessages().empty());
    }
}

TEST_F(PciDialogTest, APickedTransponderFillsTheControlsAndItsPositionPicksTheInput) {
    const std::filesystem::path previous = std::filesystem::current_path();
    home.Write("TransponderList.txt",
               "0192,430B0118360001928102750003,Astra 1N\n"
               "0130,430B011047000130A502750003,Hotbird 13B\n"
               "0282,430B011222500282E602200003,Astra 2E\n"
               "0050,430B012345000050C702200003,Elsewhere\n");
    std::filesystem::current_path(home.Path());
    struct Case {
        int row;
        const char *mhz, *ksps;
        int input;  // -1: unchanged (stays D)
        int polarisation;
        int modulation;  // -1: unchanged (stays DVB-S QPSK)
    };
    const Case cases[] = {{0, "11836", "27500", S::kInputA, S::kHorizontal, S::kDvbSQpsk},
                          {1, "11047", "27500", S::kInputA + 1, S::kVertical, S::kDvbS2Qpsk},
                          {2, "11222", "22000", S::kInputA + 2, S::kHorizontal, S::kDvbS28psk},  // circular: unchanged
                          {3, "12345", "22000", -1, S::kHorizontal, -1}};
    for (const Case& c : cases) {
        DeclaredCard card(DeclaredCardOf("QUARNOX0", 7, 12));
        CVMDVBPCIFeed feed(0);
        feed.LoadSettings("Kestrel Test");
        feed.SetDiseqcInput(3);
        presenter.Click(S::kTransponderButton).Select(TransponderListDialog::kTable, c.row).Ok().Cancel();
        EXPECT_FALSE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
        const DialogState& after = Last("DVBPCIFEEDCONFIGDLG").Last();
        EXPECT_EQ(after.Find(S::kFrequencyEdit)->text, c.mhz) << c.row;
        EXPECT_EQ(after.Find(S::kSymbolRateEdit)->text, c.ksps) << c.row;
        EXPECT_EQ(after.Find(c.input < 0 ? S::kInputD : c.input)->check, int{BST_CHECKED}) << c.row;
        EXPECT_EQ(after.Find(c.polarisation)->check, int{BST_CHECKED}) << c.row;
        EXPECT_EQ(after.Find(c.modulation < 0 ? S::kDvbSQpsk : c.modulation)->check, int{BST_CHECKED}) << c.row;
        EXPECT_TRUE(card->Tunes().empty()) << "only the controls change";
    }
    std::filesystem::current_path(previous);
}

TEST_F(PciDialogTest, ADescriptorGivenToTheDialogOpensItOnThatTransponder) {
    DeclaredCard card(DeclaredCardOf("QUARNOX0"));
    CVMDVBPCIFeed feed(0);
    const uint8_t descriptor[13] = {0x43, 0x0B, 0x01, 0x21, 0x88, 0x00, 0x01, 0x92, 0xA1, 0x02, 0x75, 0x00, 0x03};
    presenter.Cancel();
    EXPECT_FALSE(feed.ShowConfigDialog(nullptr, nullptr, descriptor));
    EXPECT_EQ(Shown(S::kFrequencyEdit).text, "12188");
    EXPECT_EQ(Shown(S::kVertical).check, int{BST_CHECKED});
    EXPECT_EQ(feed.Record().word[0], 0u) << "the record's delivery word is the caller's";
    EXPECT_EQ(feed.Record().word[5], 1u);
}

TEST_F(PciDialogTest, CableOkTakesTheListedModulationAndTheOptionFlag) {
    using C = CDvbCDialog;
    const std::vector<std::string> items = {"QAM  16", "QAM  32", "QAM  64", "QAM 128", "QAM 256"};
    for (int pick = 0; pick < 5; ++pick) {
        DeclaredCard card(DeclaredCardOf("QUARNOX0", 2, 3));
        CVMDVBPCIFeed feed(0);
        feed.Record().word[7] = 4;
        presenter.Type(C::kFrequencyEdit, "346").Type(C::kSymbolRateEdit, "6900").Check(C::kOptionOn)
            .Select(C::kModulationList, pick).Ok();
        EXPECT_TRUE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
        const auto& shown = presenter.Dialogs().back().Shown();
        EXPECT_EQ(presenter.Dialogs().back().name, "DVBCCONFIGDLG");
        EXPECT_EQ(shown.Find(C::kModulationList)->items, items);
        EXPECT_EQ(shown.Find(C::kModulationList)->selection, 3) << "the item of the record's value";
        EXPECT_EQ(shown.Find(C::kOptionOff)->check, int{BST_CHECKED});
        const TuningParameters& r = feed.Record();
        EXPECT_EQ(r.word[1], 346'000u);
        EXPECT_EQ(r.word[2], 6'900'000u);
        EXPECT_EQ(r.word[3], 1u);
        EXPECT_EQ(r.word[7], static_cast<uint32_t>(pick + 1));
        ASSERT_EQ(card->Tunes().size(), 1u);
        EXPECT_TRUE(card->DiseqcMessages().empty());
    }
}

TEST_F(PciDialogTest, TerrestrialOkHoldsTheFrequencyInHertzAndSetsTheFixedWords) {
    using T = CDvbTDialog;
    const std::vector<std::string> items = {"5 Mhz", "6 Mhz", "7 Mhz", "8 Mhz"};
    const uint32_t values[] = {3, 2, 1, 0};
    for (int pick = 0; pick < 4; ++pick) {
        DeclaredCard card(DeclaredCardOf("QUARNOX0", 3, 5));
        CVMDVBPCIFeed feed(0);
        presenter.Type(T::kFrequencyEdit, "538").Select(T::kBandwidthList, pick).Ok();
        EXPECT_TRUE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
        const auto& shown = presenter.Dialogs().back().Shown();
        EXPECT_EQ(shown.Find(T::kFrequencyEdit)->text, "11") << "the initial 11,836,000 read as Hz";
        EXPECT_EQ(shown.Find(T::kBandwidthList)->items, items);
        EXPECT_EQ(shown.Find(T::kBandwidthList)->selection, 3) << "word 8 = 0 is 8 MHz";
        const TuningParameters& r = feed.Record();
        EXPECT_EQ(r.word[1], 538'000'000u);
        EXPECT_EQ(r.word[8], values[pick]);
        EXPECT_EQ(r.word[11], 16u);
        EXPECT_EQ(r.word[13], 16u);
        EXPECT_EQ(r.word[3], 0u);
        ASSERT_EQ(card->Tunes().size(), 1u);
        EXPECT_EQ(card->Tunes()[0][1], 538'000'000u);
    }
}

TEST_F(PciDialogTest, NoDialogForACardOutsideTheThreeFamilies) {
    DeclaredCard card(DeclaredCardOf("QUARNOX0", 11, 6));
    CVMDVBPCIFeed feed(0);
    EXPECT_FALSE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
    EXPECT_TRUE(presenter.Dialogs().empty());
}
