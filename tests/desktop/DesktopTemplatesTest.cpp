// Every dialog template the host registers, shown by the desktop presenter: where its
// controls land, and what it looks like.
#include <gtest/gtest.h>

#include "desktop/DialogView.h"
#include "desktop/GtkPresenter.h"
#include "feeds/satip/SatIpCapabilities.h"
#include "feeds/satip/SatIpPages.h"
#include "host/HostResources.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/DialogWindow.h"
#include "platform/ui/ResourceRegistry.h"
#include "tests/desktop/DesktopTestSupport.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

INT_PTR PlainDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

class DesktopTemplates : public testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(GtkPresenter::OpenDisplay(), "");
        RegisterHostResources();
    }
};

TEST_P(DesktopTemplates, OpensWithEveryControlInPlace) {
    GtkPresenter presenter;
    ScopedPresenter installed(&presenter);
    bool shown = false;
    presenter.OnShown([&](GtkWindow* window, const std::string&, DialogView* view) {
        ASSERT_NE(view, nullptr);
        shown = true;
        Settle();
        CheckLayout(*view);
        EXPECT_EQ(CheckScreenshot(view->Content(), GetParam()), "");
        gtk_window_close(window);
    });
    EXPECT_EQ(DialogBoxParamA(MainProgramModule(), GetParam(), nullptr, PlainDialog, 0), IDCANCEL)
        << "closing the window cancels";
    EXPECT_TRUE(shown);
}

INSTANTIATE_TEST_SUITE_P(Host, DesktopTemplates,
                         testing::Values("FILEFEEDCONFIGDLG", "IPTVFEEDCONFIGDLG", "IPTVHISTORYDLG",
                                         "TRANSPONDERLISTDLG", "ALLPIDWARNDLG", "SSDPSTOPDLG", "SAT2IP_SERVERSELECT",
                                         "DVBPCIFEEDCONFIGDLG", "DVBCCONFIGDLG", "DVBTCONFIGDLG", "BDA_SELECTTYPE",
                                         "BDA_DVBSCONFIG", "BDA_DVBCCONFIG", "BDA_DVBTCONFIG", "BDA_ATSCCONFIG"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The pages show and hide groups of controls themselves, so they are looked at inside
// their own property sheet, each page chosen on the tab strip as a person would.
TEST(DesktopSheet, EveryPageOfTheSatIpSheetInPlace) {
    ASSERT_EQ(GtkPresenter::OpenDisplay(), "");
    RegisterHostResources();
    ScopedRegistryHome home;
    GtkPresenter presenter;
    ScopedPresenter installed(&presenter);
    SatIpSettings settings;
    SatIpServerList servers;
    SatIpSheetState state{settings, kSatIpCapAll, servers, nullptr};
    const char* pages[] = {"SAT2IP_DVB_S_S2", "SAT2IP_DVB_T_T2", "SAT2IP_DVB_C_C2"};
    int looked = 0;
    presenter.OnShown([&](GtkWindow* window, const std::string&, DialogView* view) {
        ControlWidget* tabs = view->FindById(ID_SHEET_TABS);
        ASSERT_NE(tabs, nullptr);
        for (int page = 0; page < 3; ++page) {
            gtk_notebook_set_current_page(GTK_NOTEBOOK(tabs->Inner()), page);
            Settle();
            ASSERT_TRUE(RunUntil([&] {
                auto* shown = reinterpret_cast<HWND>(SendMessageA(view->Dialog(), PSM_GETCURRENTPAGEHWND, 0, 0));
                auto* current = static_cast<DialogWindow*>(Window::FromHandle(shown));
                return current && current->Name() == pages[page];
            })) << pages[page] << " did not come up";
            Settle();
            CheckLayout(*view);
            EXPECT_EQ(CheckScreenshot(view->Content(), pages[page]), "");
            ++looked;
        }
        gtk_window_close(window);
    });
    RunSatIpPropertySheet(nullptr, state);
    EXPECT_EQ(looked, 3);
}

}  // namespace

namespace {

// The comparison forgives what fonts change (a few pixels of a glyph) and catches
// what a broken layout changes (whole areas).
TEST(ScreenshotComparison, ForgivesGlyphsButNotAreas) {
    constexpr int kSize = 32;
    const std::vector<unsigned char> grey(kSize * kSize, 200);
    struct Case {
        const char* what;
        int x0, y0, x1, y1;  // the region painted black
        bool differs;
    };
    const Case cases[] = {
        {"the same picture", 0, 0, 0, 0, false},
        {"a glyph's stroke moved by a pixel", 3, 3, 4, 8, false},
        {"a control gone from a block", 8, 8, 16, 16, true},
        {"a bar across the picture", 0, 24, 32, 32, true},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> other = grey;
        for (int y = c.y0; y < c.y1; ++y)
            for (int x = c.x0; x < c.x1; ++x) other[static_cast<size_t>(y) * kSize + x] = 0;
        EXPECT_EQ(DifferentBlockShare(grey, other, kSize, kSize, 40) > 0.04, c.differs) << c.what;
    }
}

}  // namespace
