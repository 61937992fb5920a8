// The BDA feed's dialogs worked through a scripted presenter with the host's templates.
#include <gtest/gtest.h>

#include <cstring>

#include "feeds/bda/BdaCableDialog.h"
#include "feeds/bda/BdaSatelliteDialog.h"
#include "feeds/bda/BdaSelectTypeDialog.h"
#include "feeds/bda/BdaTerrestrialDialog.h"
#include "host/HostResources.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

using S = CBdaSatelliteDialog;
using C = CBdaCableDialog;
using T = CBdaTerrestrialDialog;
using Sel = CBdaSelectTypeDialog;

class BdaDialogTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterHostResources(); }
    void TearDown() override { EXPECT_TRUE(presenter.Problems().empty()) << presenter.Problems().front(); }
    const DialogState& Shown() const { return presenter.Dialogs().at(0).Shown(); }
    int Check(int id) const { return Shown().Find(id)->check; }
    std::function<void()> CountTunes() {
        return [this] { ++tunes; };
    }

    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
    ScopedRegistryHome home;
    TuningParameters record{};
    int tunes = 0;
};

TEST_F(BdaDialogTest, SatelliteOpensWithTheRecordAndReadsEntriesOnOk) {
    record.word[1] = 11836500;
    record.word[2] = 27500000;
    record.word[6] = 1;
    record.word[7] = 2;
    presenter.Type(200, "11700").Type(201, "22000").Check(S::kHorizontal).Check(S::kDvbS2Qpsk).Ok();
    EXPECT_EQ(S(record, nullptr, CountTunes()).DoModal(nullptr), 1);
    EXPECT_EQ(Shown().Find(200)->text, "11836.500562");
    EXPECT_EQ(Shown().Find(201)->text, "27500");
    EXPECT_EQ(Check(S::kVertical), int{BST_CHECKED});
    EXPECT_EQ(Check(S::kHorizontal), int{BST_UNCHECKED});
    EXPECT_EQ(Check(S::kDvbS28psk), int{BST_CHECKED});
    EXPECT_EQ(record.word[1], 11700000u);
    EXPECT_EQ(record.word[2], 22000000u);
    EXPECT_EQ(record.word[6], 0u);
    EXPECT_EQ(record.word[7], 1u);
    EXPECT_EQ(record.word[5], 0u) << "exactly 11700000 is low band through the dialog";
    EXPECT_EQ(tunes, 1);
}

TEST_F(BdaDialogTest, CancelChangesNothingAndDoesNotTune) {
    record.word[1] = 538000;
    const TuningParameters before = record;
    presenter.Type(200, "600").Check(T::kBandwidth6).Cancel();
    EXPECT_EQ(T(record, CountTunes()).DoModal(nullptr), 0);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
    EXPECT_EQ(tunes, 0);
}

TEST_F(BdaDialogTest, FrequencyEntryWithACommaAndHighBand) {
    presenter.Type(200, "11836,5").Ok();
    S(record, nullptr, CountTunes()).DoModal(nullptr);
    EXPECT_EQ(record.word[1], 11836500u);
    EXPECT_EQ(record.word[5], 1u);
}

TEST_F(BdaDialogTest, CableModulationButtons) {
    // stored code -> button checked on opening; what OK gives with that button left alone
    const std::pair<uint32_t, int> cases[] = {{1, C::kQam16}, {2, 0}, {3, C::kQam64}, {4, C::kQam128},
                                              {5, C::kQam256}, {0, 0}};
    for (const auto& [code, button] : cases) {
        ScriptedPresenter p;
        ScopedPresenter s(&p);
        record.word[7] = code;
        record.word[2] = 6900000;
        p.Type(C::kSymbolRateEdit, "6875000").Ok();
        C(record, nullptr).DoModal(nullptr);
        for (int id : {C::kQam16, C::kQam64, C::kQam128, C::kQam256})
            EXPECT_EQ(p.Dialogs().at(0).Shown().Find(id)->check, id == button ? BST_CHECKED : BST_UNCHECKED)
                << code << " " << id;
        EXPECT_EQ(p.Dialogs().at(0).Shown().Find(C::kSymbolRateEdit)->text, "6900000");
        EXPECT_EQ(record.word[7], code) << "no button chosen keeps the code";
        EXPECT_EQ(record.word[2], 6875000u);
    }
    presenter.Check(C::kQam128).Ok();
    record.word[7] = 2;
    C(record, nullptr).DoModal(nullptr);
    EXPECT_EQ(record.word[7], 4u);
}

TEST_F(BdaDialogTest, TerrestrialBandwidthButtons) {
    const std::pair<uint32_t, int> opened[] = {{0, T::kBandwidth8}, {1, T::kBandwidth7}, {2, T::kBandwidth6}, {3, 0}};
    for (const auto& [code, button] : opened) {
        ScriptedPresenter p;
        ScopedPresenter s(&p);
        record.word[8] = code;
        p.Cancel();
        T(record, nullptr).DoModal(nullptr);
        for (int id : {T::kBandwidth6, T::kBandwidth7, T::kBandwidth8})
            EXPECT_EQ(p.Dialogs().at(0).Shown().Find(id)->check, id == button ? BST_CHECKED : BST_UNCHECKED) << code;
    }
    presenter.Check(T::kBandwidth6).Ok();
    T(record, nullptr).DoModal(nullptr);
    EXPECT_EQ(record.word[8], 2u);
}

TEST_F(BdaDialogTest, AtscChannelGoesThroughTheFrequencyRules) {
    record.word[1] = 46;
    presenter.Type(200, "0.051").Ok();
    CBdaTuningDialog(CBdaTuningDialog::kAtscTemplate, record, nullptr).DoModal(nullptr);
    EXPECT_EQ(Shown().Find(200)->text, "0.046000");
    EXPECT_EQ(record.word[1], 51u);
}

TEST_F(BdaDialogTest, TransponderListFillsTheControlsOnly) {
    // Astra 1N 11836 H, 27500 kS/s, DVB-S2 8PSK; then one with circular polarisation
    // and the reserved modulation, which leave those buttons alone.
    home.Write("TransponderList.txt",
               "0192,430B0118360001928602750003,Astra S2 8PSK\n"
               "0130,430B011047000130C702200003,Circular reserved\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(home.Path());
    record.word[1] = 10000000;
    record.word[6] = 1;
    presenter.Click(S::kTransponderListButton).DoubleClick(4777, 0);
    presenter.Click(S::kTransponderListButton).DoubleClick(4777, 1);
    presenter.Click(S::kTransponderListButton).Cancel();
    presenter.Cancel();
    S(record, "Kestrel Test", nullptr).DoModal(nullptr);
    std::filesystem::current_path(previous);

    const auto& states = presenter.Dialogs().at(0).states;
    ASSERT_GE(states.size(), 4u);
    const DialogState& first = states[1];
    EXPECT_EQ(first.Find(200)->text, "11836");
    EXPECT_EQ(first.Find(201)->text, "27500");
    EXPECT_EQ(first.Find(S::kHorizontal)->check, int{BST_CHECKED});
    EXPECT_EQ(first.Find(S::kDvbS28psk)->check, int{BST_CHECKED});
    const DialogState& second = states[2];
    EXPECT_EQ(second.Find(200)->text, "11047");
    EXPECT_EQ(second.Find(201)->text, "22000");
    EXPECT_EQ(second.Find(S::kHorizontal)->check, int{BST_CHECKED}) << "circular keeps the choice";
    EXPECT_EQ(second.Find(S::kDvbS28psk)->check, int{BST_CHECKED}) << "reserved modulation keeps the choice";
    EXPECT_EQ(states[3].Find(200)->text, "11047") << "a cancelled pick changes nothing";
    EXPECT_EQ(record.word[1], 10000000u) << "only OK writes the record";
}

TEST_F(BdaDialogTest, SelectTypeOpensOnTheLastTypeAndLaterButtonsWin) {
    // last type -> button checked on opening -> what OK without a change gives
    const std::tuple<int32_t, int, int32_t> opened[] = {{1, Sel::kDvbS, 1},  {2, Sel::kDvbC, 2}, {9, Sel::kDvbC, 2},
                                                        {3, Sel::kDvbT, 3},  {8, Sel::kDvbT, 3}, {7, Sel::kDvbS2, 7},
                                                        {11, 0, 11}};
    for (const auto& [type, button, result] : opened) {
        ScriptedPresenter p;
        ScopedPresenter s(&p);
        int32_t last = type;
        p.Ok();
        EXPECT_EQ(Sel(last).DoModal(nullptr), result);
        for (int id : {Sel::kDvbT, Sel::kDvbC, Sel::kDvbS, Sel::kDvbS2})
            EXPECT_EQ(p.Dialogs().at(0).Shown().Find(id)->check, id == button ? BST_CHECKED : BST_UNCHECKED) << type;
    }
    int32_t last = 3;
    presenter.Check(Sel::kDvbS2).Ok();
    EXPECT_EQ(Sel(last).DoModal(nullptr), 7);
    EXPECT_EQ(last, 7);
    // Two buttons checked at once (possible without grouping): the later in test order wins.
    ScriptedPresenter p;
    ScopedPresenter s(&p);
    p.Run([](HWND dialog) {
         CheckDlgButton(dialog, Sel::kDvbS, BST_CHECKED);
         CheckDlgButton(dialog, Sel::kDvbT, BST_CHECKED);
     }).Ok();
    last = 3;
    EXPECT_EQ(Sel(last).DoModal(nullptr), 3);
}

TEST_F(BdaDialogTest, SelectTypeIgnoresCancel) {
    int32_t last = 3;
    presenter.Close().Check(Sel::kDvbC).Ok();
    EXPECT_EQ(Sel(last).DoModal(nullptr), 2);
}

}  // namespace
