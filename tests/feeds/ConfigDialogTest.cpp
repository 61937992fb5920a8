// The feeds' dialog framework and their settings helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "feeds/ConfigDialog.h"
#include "feeds/RegistrySettings.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

struct HookCall {
    UINT message;
    LPARAM lParam;
};
std::vector<HookCall> g_hookCalls;

INT_PTR RecordingHook(HWND, UINT message, WPARAM, LPARAM lParam) {
    g_hookCalls.push_back({message, lParam});
    return message == WM_CTLCOLOREDIT ? 77 : 0;
}

std::vector<UINT> HookMessages() {
    std::vector<UINT> out;
    for (const HookCall& c : g_hookCalls)
        if (c.message != WM_CTLCOLORBTN && c.message != WM_CTLCOLORDLG && c.message != WM_CTLCOLORSTATIC &&
            c.message != WM_CTLCOLOREDIT && c.message != WM_DESTROY)
            out.push_back(c.message);
    return out;
}

class ProbeDialog : public CConfigDialog {
public:
    explicit ProbeDialog(const WCHAR* name, ConfigMessageHook hook = &RecordingHook) : CConfigDialog(name, hook) {}

    INT_PTR OnInitDialog() override {
        calls.push_back("init");
        return CConfigDialog::OnInitDialog();
    }
    INT_PTR OnCommand(WPARAM command, WORD notification) override {
        calls.push_back("command " + std::to_string(LOWORD(command)) + " " + std::to_string(notification));
        if (LOWORD(command) == IDOK) {
            EndDialog(Window(), 1);
            return 1;
        }
        return commandAnswer;
    }
    INT_PTR OnTimer(UINT_PTR id) override {
        calls.push_back("timer " + std::to_string(id));
        return 0;
    }
    INT_PTR OnNotify(int id, NMHDR* header) override {
        calls.push_back("notify " + std::to_string(id) + " " + std::to_string(static_cast<int>(header->code)));
        return 0;
    }

    std::vector<std::string> calls;
    INT_PTR commandAnswer = 0;
};

DialogTemplate Template() {
    DialogTemplate t;
    t.caption = "Feed settings";
    t.cx = 200;
    t.cy = 100;
    t.controls = {{IDOK, WC_BUTTON, "OK", 10, 80, 50, 14, BS_DEFPUSHBUTTON, false},
                  {300, WC_BUTTON, "&Browse", 10, 10, 50, 14, BS_PUSHBUTTON, false},
                  {206, WC_EDIT, "", 10, 30, 50, 14, ES_NUMBER, false}};
    return t;
}

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_hookCalls.clear();
        RegisterDialogTemplate(MainProgramModule(), "CONFIGPROBEDLG", Template());
    }
    void TearDown() override { UnregisterDialogTemplate(MainProgramModule(), "CONFIGPROBEDLG"); }

    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
};

}  // namespace

TEST_F(ConfigDialogTest, MessagesGoToTheirHandlersAndTheRestToTheHook) {
    ProbeDialog dialog(u"CONFIGPROBEDLG");
    EXPECT_EQ(dialog.ResourceModule(), MainProgramModule());
    presenter
        .Run([&](HWND hwnd) {
            EXPECT_EQ(dialog.Window(), hwnd);
            EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&dialog));
            SetTimer(hwnd, 5, 100, nullptr);
        })
        .FireTimer(5)
        .Click(300)
        .Run([&](HWND) { dialog.commandAnswer = 1; })
        .Click(300)
        .Run([](HWND hwnd) {
            NMHDR header{GetDlgItem(hwnd, 206), 206, NM_CLICK};
            SendMessageA(hwnd, WM_NOTIFY, 206, reinterpret_cast<LPARAM>(&header));
            EXPECT_EQ(SendMessageA(hwnd, WM_CTLCOLOREDIT, 0, reinterpret_cast<LPARAM>(GetDlgItem(hwnd, 206))), 77)
                << "the hook's answer is the dialog's";
        })
        .Ok();
    EXPECT_EQ(dialog.DoModal(nullptr), 1);
    EXPECT_EQ(dialog.calls, (std::vector<std::string>{"init", "timer 5", "command 300 0", "command 300 0", "notify 206 -2",
                                                      "command 1 0"}));
    // The hook sees initialisation (with the object) and whatever no handler took.
    EXPECT_EQ(HookMessages(), (std::vector<UINT>{WM_INITDIALOG, WM_TIMER, WM_COMMAND, WM_NOTIFY}));
    EXPECT_EQ(g_hookCalls.front().lParam, reinterpret_cast<LPARAM>(&dialog));
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST_F(ConfigDialogTest, PageDescriptionsCarryTheObjectIntoASheet) {
    CConfigPage page(u"CONFIGPROBEDLG", &RecordingHook);
    PROPSHEETPAGEW description{};
    description.pszTitle = u"kept";
    description.dwFlags = 0xFFFF;
    page.FillPageDescription(&description);
    EXPECT_EQ(description.dwSize, 48u);
    EXPECT_EQ(description.dwFlags, 0x20u);
    EXPECT_EQ(description.hInstance, MainProgramModule());
    EXPECT_EQ(description.pszTemplate, page.TemplateName());
    EXPECT_EQ(description.lParam, reinterpret_cast<LPARAM>(&page));
    EXPECT_EQ(std::u16string(description.pszTitle), u"kept");

    PROPSHEETHEADERW sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE;
    sheet.pszCaption = u"SAT>IP feed properties";
    sheet.nPages = 1;
    sheet.ppsp = &description;
    HWND seen = nullptr;
    presenter.Run([&](HWND) { seen = page.Window(); }).Ok();
    EXPECT_EQ(PropertySheetW(&sheet), 1);
    EXPECT_NE(seen, nullptr);
    ASSERT_FALSE(g_hookCalls.empty());
    EXPECT_EQ(g_hookCalls.front().message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(g_hookCalls.front().lParam, reinterpret_cast<LPARAM>(&page)) << "the object, not the description";
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST(FeedSettings, KeysFollowTheProductConventionAndMissingOrEmptyKeysGiveNothing) {
    EXPECT_EQ(FeedSettingsKey("Brix", "BDAFeed Tuner 1"), "Software\\Velmar\\Brix\\BDAFeed Tuner 1");
    ScopedRegistryHome home;
    char buffer[260] = {};
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, FeedSettingsKey("Brix", "FileFeed").c_str(), "Bitrate"), 0u);
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, nullptr, "Bitrate"), 0u);
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, nullptr, "LastFile", buffer, sizeof buffer));
    const std::string noApplication = FeedSettingsKey(nullptr, "FileFeed");
    for (const char* key : {noApplication.c_str(), "", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(WriteRegDword(HKEY_CURRENT_USER, key, "Loop", 1)) << (key ? key : "null");
        EXPECT_FALSE(WriteRegValue(HKEY_CURRENT_USER, key, key != nullptr, "LastFile", "1")) << (key ? key : "null");
    }
    EXPECT_TRUE(home.Files().empty()) << "not even an empty store was written";
}

TEST(FeedSettings, NumbersWrittenFromTextReadLikeTheCLibrary) {
    ScopedRegistryHome home;
    const char* key = "Software\\Velmar\\Brix\\IPTVFeed";
    const std::pair<const char*, DWORD> cases[] = {
        {"42", 42},  {"  1234", 1234}, {"-7", 0xFFFFFFF9u}, {"+8", 8}, {"12abc", 12}, {"abc", 0}, {"", 0},
        {"99999999999", 0x7FFFFFFFu}, {"-99999999999", 0x80000000u}};
    for (const auto& [text, value] : cases) {
        ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, key, false, "Port", text)) << text;
        EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, key, "Port"), value) << text;
    }
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, &opened), ERROR_SUCCESS);
    EXPECT_TRUE(GetDword(opened, "Port").has_value()) << "stored as a 32-bit number";
    RegCloseKey(opened);
}
