// The settings and history dialogs, worked by a scripted presenter. They run inside a
// network namespace of the test's own, so that the adapter list is known.
#include <gtest/gtest.h>

#include "feeds/RegistrySettings.h"
#include "host/HostResources.h"
#include "feeds/iptv/IPTVFeed.h"
#include "feeds/iptv/IptvConfigDialog.h"
#include "feeds/iptv/IptvHistoryDialog.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/feeds_iptv/IptvTestSupport.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

using namespace iptvtest;
using Dlg = CIptvConfigDialog;

// Adapters: kdA (10.233.0.1, fd02::1) and kdB (10.233.1.1) are listed; the pair kdC
// and kdD has no address, ktun is a tunnel, lo is loopback.
class IptvDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ns_ = new NetNamespace("dlg");
        bare_ = new NetNamespace("bare");
        ready_ = ns_->Created() && bare_->Created() && ns_->In("link add kdB type veth peer name kdA") &&
                 ns_->In("link add kdC type veth peer name kdD") && ns_->In("tuntap add dev ktun mode tun") &&
                 ns_->In("addr add 10.233.0.1/24 dev kdA") && ns_->In("addr add fd02::1/64 dev kdA nodad") &&
                 ns_->In("addr add 10.233.1.1/24 dev kdB") && ns_->In("addr add 10.233.2.1/24 dev ktun");
    }
    static void TearDownTestSuite() {
        delete ns_;
        delete bare_;
    }
    void SetUp() override {
        if (!ready_) GTEST_SKIP() << "a network namespace with test interfaces cannot be set up here (needs root)";
        RegisterDialogTemplate(MainProgramModule(), "IPTVFEEDCONFIGDLG", IptvConfigDialogTemplate());
        RegisterDialogTemplate(MainProgramModule(), "IPTVHISTORYDLG", IptvHistoryDialogTemplate());
    }
    void TearDown() override {
        UnregisterDialogTemplate(MainProgramModule(), "IPTVFEEDCONFIGDLG");
        UnregisterDialogTemplate(MainProgramModule(), "IPTVHISTORYDLG");
    }

    bool Show(const char* option = nullptr, const NetNamespace* where = nullptr) {
        bool confirmed = false;
        EXPECT_TRUE((where ? where : ns_)->Run([&] { confirmed = feed_.ShowConfigDialog(nullptr, option, nullptr); }));
        EXPECT_EQ(0u, presenter_.StepsLeft());
        EXPECT_TRUE(presenter_.Problems().empty()) << presenter_.Problems().front();
        return confirmed;
    }
    const DialogState& Shown() { return presenter_.Dialogs().at(0).Shown(); }
    const ControlState& In(const DialogState& state, int id) {
        const ControlState* c = state.Find(id);
        EXPECT_NE(nullptr, c) << id;
        return *c;
    }

    static inline NetNamespace* ns_ = nullptr;
    static inline NetNamespace* bare_ = nullptr;
    static inline bool ready_ = false;
    ScopedRegistryHome home_;
    ScriptedPresenter presenter_;
    ScopedPresenter scope_{&presenter_};
    CIPTVFeed feed_{0};
};

TEST_F(IptvDialogs, OpensWithTheSettingsAndOkTakesGroupPortAdapterAndSource) {
    feed_.SetSettings({.group = MakeIPv4Address(0xEF010101, 5000),
                       .interfaceAddress = MakeIPv4Address(0x0AE90101, 0),  // kdB
                       .ssm = 1,
                       .source = MakeIPv4Address(0x0A000009, 0)});
    presenter_.Type(Dlg::kGroupIPv4, "239.2.2.2")
        .Type(Dlg::kPort, "6000")
        .Select(Dlg::kInterfaceList, 0)
        .Type(Dlg::kSource, "239.9.9.9")
        .Type(Dlg::kSource, "10.0.0.7")
        .Ok();
    EXPECT_TRUE(Show());
    ASSERT_EQ("IPTVFEEDCONFIGDLG", presenter_.Dialogs().at(0).name);
    const DialogState& st = Shown();
    EXPECT_EQ(BST_CHECKED, static_cast<UINT>(In(st, Dlg::kIPv4).check));
    EXPECT_EQ("239.1.1.1", In(st, Dlg::kGroupIPv4).text);
    EXPECT_FALSE(In(st, Dlg::kGroupIPv6).visible);
    EXPECT_EQ("5000", In(st, Dlg::kPort).text);
    EXPECT_EQ((std::vector<std::string>{"kdA", "kdB"}), In(st, Dlg::kInterfaceList).items);
    EXPECT_EQ(1, In(st, Dlg::kInterfaceList).selection);
    EXPECT_EQ("10.233.1.1", In(st, Dlg::kInterfaceAddress).text);
    EXPECT_FALSE(In(st, Dlg::kInterfaceAddress).enabled);
    EXPECT_EQ("10.0.0.9", In(st, Dlg::kSource).text);
    EXPECT_EQ(static_cast<int>(BST_CHECKED), In(st, Dlg::kSourceSpecific).check);

    // A multicast source clears the source-specific box, a unicast one sets it.
    const auto& steps = presenter_.Dialogs().at(0).states;
    EXPECT_EQ("10.233.0.1", In(steps.at(3), Dlg::kInterfaceAddress).text);  // after choosing kdA
    EXPECT_EQ(static_cast<int>(BST_UNCHECKED), In(steps.at(4), Dlg::kSourceSpecific).check);
    EXPECT_EQ(static_cast<int>(BST_CHECKED), In(steps.at(5), Dlg::kSourceSpecific).check);
    EXPECT_EQ((IptvSettings{.group = MakeIPv4Address(0xEF020202, 6000),
                            .interfaceAddress = MakeIPv4Address(0x0AE90001, 0),
                            .ssm = 1,
                            .source = MakeIPv4Address(0x0A000007, 0)}),
              feed_.Settings());
}

TEST_F(IptvDialogs, RefusalsKeepTheDialogOpenAndAUnicastGroupKeepsTheMulticastSettings) {
    IptvSettings before{.group = MakeIPv4Address(0xEF010101, 5000), .interfaceAddress = MakeIPv4Address(0x0AE90101, 0)};
    feed_.SetSettings(before);
    presenter_.Type(Dlg::kGroupIPv4, "232.1.1.1")
        .Type(Dlg::kSource, "239.9.9.9")
        .Check(Dlg::kSourceSpecific)
        .Ok()
        .Type(Dlg::kPort, "70000")
        .Ok()
        .Type(Dlg::kPort, "6000")
        .Type(Dlg::kGroupIPv4, "127.0.0.1")
        .Ok();
    EXPECT_TRUE(Show());
    ASSERT_EQ(2u, presenter_.MessageBoxes().size());
    EXPECT_EQ("Multicast Source: 239.9.9.9 is not valid for SSM", presenter_.MessageBoxes()[0].text);
    EXPECT_EQ("Error", presenter_.MessageBoxes()[0].caption);
    EXPECT_EQ("The entered port number is not valid.", presenter_.MessageBoxes()[1].text);
    const DialogState& unicast = presenter_.Dialogs().at(0).states.at(8);
    EXPECT_FALSE(In(unicast, Dlg::kInterfaceList).enabled);
    EXPECT_FALSE(In(unicast, Dlg::kSource).enabled);
    EXPECT_FALSE(In(unicast, Dlg::kInterfaceAddress).enabled);
    before.group = MakeIPv4Address(0x7F000001, 6000);  // source, SSM and interface stay as they were
    EXPECT_EQ(before, feed_.Settings());
}

TEST_F(IptvDialogs, IPv6GroupIsEditedAsBracketedTextAndTakesTheSourceRule) {
    // SSM is not offered for IPv6: the box opens clear and OK clears it.
    feed_.SetSettings({.group = V6(0xff, 0x15, 0x01, 1234), .ssm = 1, .source = MakeIPv4Address(0x0A000009, 0)});
    presenter_.Type(Dlg::kGroupIPv6, "[ff15::2]").Select(Dlg::kInterfaceList, 0).Ok();
    EXPECT_TRUE(Show());
    const DialogState& st = Shown();
    EXPECT_EQ(static_cast<int>(BST_CHECKED), In(st, Dlg::kIPv6).check);
    EXPECT_EQ("[ff15::1]", In(st, Dlg::kGroupIPv6).text);
    EXPECT_FALSE(In(st, Dlg::kGroupIPv4).visible);
    EXPECT_FALSE(In(st, Dlg::kSource).enabled);
    EXPECT_FALSE(In(st, Dlg::kSourceSpecific).enabled);
    EXPECT_EQ(static_cast<int>(BST_UNCHECKED), In(st, Dlg::kSourceSpecific).check);
    EXPECT_EQ((IptvSettings{.group = V6(0xff, 0x15, 0x02, 1234),
                            .interfaceAddress = V6(0xfd, 0x02, 0x01, 0),  // kdA's IPv6 address
                            .source = MakeIPv4Address(0, 0)}),
              feed_.Settings());
}

TEST_F(IptvDialogs, SwitchingToIPv6AndAnUnparsedTextKeepsTheAddress) {
    const IptvSettings before = feed_.Settings();
    presenter_.Click(Dlg::kIPv6).Type(Dlg::kGroupIPv6, "ff15::3").Ok();  // brackets missing
    EXPECT_TRUE(Show());
    EXPECT_TRUE(In(presenter_.Dialogs().at(0).states.at(1), Dlg::kGroupIPv6).visible);
    ASSERT_EQ(1u, presenter_.MessageBoxes().size());
    EXPECT_EQ("The entered IP address failed to parse.", presenter_.MessageBoxes()[0].text);
    EXPECT_EQ(before, feed_.Settings());
}

// The address control shows the chosen adapter's address: open while no adapter is
// listed, closed by a change of the group, and never read by OK.
TEST_F(IptvDialogs, WithoutAdaptersOkLeavesTheInterfaceAsItWas) {
    IptvSettings s{.group = MakeIPv4Address(0xEF030303, 5000), .interfaceAddress = MakeIPv4Address(0x0A010203, 0)};
    feed_.SetSettings(s);
    presenter_.Type(Dlg::kInterfaceAddress, "10.9.9.9").Type(Dlg::kGroupIPv4, "239.3.3.4").Ok();
    EXPECT_TRUE(Show(nullptr, bare_));
    EXPECT_TRUE(In(Shown(), Dlg::kInterfaceList).items.empty());
    EXPECT_TRUE(In(Shown(), Dlg::kInterfaceAddress).enabled);
    EXPECT_FALSE(In(presenter_.Dialogs().at(0).states.at(2), Dlg::kInterfaceAddress).enabled);
    s.group = MakeIPv4Address(0xEF030304, 5000);
    s.source = MakeIPv4Address(0, 0);
    EXPECT_EQ(s, feed_.Settings());

    presenter_.Ok();  // with adapters listed the control opens closed
    EXPECT_TRUE(Show());
    EXPECT_FALSE(In(presenter_.Dialogs().at(1).Shown(), Dlg::kInterfaceAddress).enabled);
    EXPECT_EQ(s, feed_.Settings());
}

TEST_F(IptvDialogs, WithoutTemplateOrPresenterNothingIsConfirmed) {
    UnregisterDialogTemplate(MainProgramModule(), "IPTVFEEDCONFIGDLG");
    EXPECT_FALSE(feed_.ShowConfigDialog(nullptr, "", nullptr));
    ScopedPresenter none(nullptr);
    EXPECT_FALSE(feed_.ShowConfigDialog(nullptr, CIPTVFeed::kHistoryOption, nullptr));
    EXPECT_TRUE(feed_.HasConfigDialog());
}

TEST_F(IptvDialogs, HistoryListsEntriesAndStoresTheChosenOneUnderTheApplicationName) {
    IptvHistory history;
    history[0].group = MakeIPv4Address(0xEF010101, 5000);
    history[1].group = V6(0xff, 0x15, 0x01, 1234);
    history[2].group = MakeIPv4Address(0, 1234);  // no address: not offered
    history[3] = {.group = MakeIPv4Address(0xE8010101, 5001), .ssm = 1, .source = MakeIPv4Address(0x0A000002, 0)};
    feed_.SetHistory(history);
    const IptvSettings before = feed_.Settings();
    presenter_.Select(CIptvHistoryDialog::kHistoryList, 0).Cancel();
    EXPECT_FALSE(Show(CIPTVFeed::kHistoryOption));
    EXPECT_EQ(before, feed_.Settings());

    presenter_.Select(CIptvHistoryDialog::kHistoryList, 2).Ok();
    EXPECT_TRUE(Show(CIPTVFeed::kHistoryOption));
    ASSERT_EQ("IPTVHISTORYDLG", presenter_.Dialogs().at(0).name);
    EXPECT_EQ((std::vector<std::string>{"239.1.1.1:5000", "[ff15::1]:1234", "232.1.1.1:5001 (SSM: 10.0.0.2)"}),
              In(Shown(), CIptvHistoryDialog::kHistoryList).items);
    EXPECT_EQ(history[3], feed_.Settings());
    // Stored under the one fixed application name, also after a load under another.
    std::string key = FeedSettingsKey("Brix", "IPTVFeed");
    EXPECT_EQ(0xE8010101u, ReadRegDword(HKEY_CURRENT_USER, key.c_str(), "IP4"));
    EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, key.c_str(), "SSM"));

    feed_.LoadSettings("KestrelTest");
    feed_.SetHistory(history);
    presenter_.DoubleClick(CIptvHistoryDialog::kHistoryList, 1);
    EXPECT_TRUE(Show(CIPTVFeed::kHistoryOption));
    EXPECT_EQ(history[1], feed_.Settings());
    EXPECT_EQ(23u, ReadRegDword(HKEY_CURRENT_USER, key.c_str(), "AdressFamily"));
    EXPECT_EQ(0u, ReadRegDword(HKEY_CURRENT_USER, FeedSettingsKey("KestrelTest", "IPTVFeed").c_str(), "AdressFamily"));
}

TEST_F(IptvDialogs, HistoryOkWithNothingSelectedKeepsTheFeedsSettings) {
    IptvHistory history;
    history[0].group = MakeIPv4Address(0xEF010101, 5000);
    feed_.SetHistory(history);
    const IptvSettings current{.group = MakeIPv4Address(0xEF050505, 5005)};
    feed_.SetSettings(current);
    presenter_.Ok();
    EXPECT_TRUE(Show(CIPTVFeed::kHistoryOption));
    EXPECT_EQ(current, feed_.Settings());
}

}  // namespace
