// Colours a dialog picks for its controls, and timers as the presenter lets time pass.
#include "platform/ui/DialogRuntime.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(231, 247, 255);

using Colours = ScriptedTest;
using Timers = ScriptedTest;

}  // namespace

TEST_F(Colours, TheDialogsAnswerIsRecordedForEachPaint) {
    ScopedTemplate t("CL_FIELD",
                     MakeDialog("Bitrate", {Control(206, WC_EDIT, "99999", ES_NUMBER), Control(207, WC_STATIC, "bad"),
                                            Control(208, WC_EDIT, "plain"), Control(209, WC_STATIC, "label"),
                                            Control(IDOK, WC_BUTTON, "OK")}));
    // The field's background warns about its value, the way settings dialogs do it.
    HBRUSH red = CreateSolidBrush(kRed), blue = CreateSolidBrush(kBlue);
    int asked = 0;
    TestDialog d;
    d.handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_CTLCOLOREDIT && reinterpret_cast<HWND>(lParam) == GetDlgItem(hwnd, 206)) {
            ++asked;
            SetTextColor(reinterpret_cast<HDC>(wParam), kBlue);
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetDlgItemInt(hwnd, 206, nullptr, FALSE) < 1000000 ? red : blue);
        }
        if (message == WM_COMMAND && LOWORD(wParam) == 206 && HIWORD(wParam) == EN_UPDATE)
            InvalidateRect(GetDlgItem(hwnd, 206), nullptr, TRUE);
        if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == GetDlgItem(hwnd, 207))
            return 12345;  // not a brush
        return FALSE;
    };
    presenter.Type(206, "1000000").Type(206, "5");
    presenter.Run([](HWND hwnd) { EnableWindow(GetDlgItem(hwnd, 208), FALSE); }).Ok();
    EXPECT_EQ(d.Run(t.Name()), IDOK);
    DeleteObject(red);
    DeleteObject(blue);

    const auto& states = presenter.Dialogs()[0].states;
    std::vector<COLORREF> backgrounds;
    for (size_t i = 0; i < 3; ++i) backgrounds.push_back(states[i].Find(206)->colours.value().background);
    EXPECT_EQ(backgrounds, (std::vector<COLORREF>{kRed, kBlue, kRed}));
    EXPECT_EQ(asked, 3) << "asked once when shown and once per repaint";
    const PaintedColours& c = *states[1].Find(206)->colours;
    EXPECT_TRUE(c.custom);
    EXPECT_EQ(c.text, kBlue);
    EXPECT_EQ(c.backgroundMode, TRANSPARENT);
    EXPECT_FALSE(states[0].Find(207)->colours->brushValid);
    EXPECT_FALSE(states[0].Find(208)->colours->custom);
    EXPECT_EQ(states[0].Find(208)->colours->background, RGB(255, 255, 255)) << "an edit field is white by default";
    EXPECT_EQ(states[0].Find(209)->colours->background, RGB(240, 240, 240));
    EXPECT_EQ(states[3].Find(208)->colours->background, RGB(240, 240, 240)) << "disabled, it paints like a label";
    EXPECT_EQ(states[3].Find(208)->colours->text, RGB(109, 109, 109));
}

TEST_F(Colours, BrushesAndDeviceContextsRejectForeignHandles) {
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    LOGBRUSH lb{};
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_FALSE(DeleteObject(b)) << "deleted once only";
    EXPECT_EQ(GetObjectA(b, sizeof lb, &lb), 0);
    EXPECT_TRUE(DeleteObject(GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(GetObjectA(GetStockObject(NULL_BRUSH), sizeof lb, &lb), static_cast<int>(sizeof lb)) << "stock objects stay";
    EXPECT_EQ(lb.lbStyle, BS_HOLLOW);
    int notAContext = 0;
    EXPECT_EQ(SetTextColor(reinterpret_cast<HDC>(&notAContext), 0), CLR_INVALID);
}

TEST_F(Timers, TimersFireAsTimePassesAndStopWhenKilled) {
    ScopedTemplate t("TM_TICKS", MakeDialog("Ticks", {Control(IDOK, WC_BUTTON, "OK")}));
    TestDialog d;
    std::vector<UINT_PTR> fired;
    d.handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            EXPECT_EQ(SetTimer(hwnd, 1, 500, nullptr), 1u);
            EXPECT_EQ(SetTimer(hwnd, 2, 200, nullptr), 2u);
        }
        if (message == WM_TIMER) {
            fired.push_back(wParam);
            if (wParam == 2 && fired.size() > 3) KillTimer(hwnd, 2);
        }
        return FALSE;
    };
    presenter.LetTimePass(1100)
        .Run([&](HWND) {
            // 200, 400, 500, 600 (timer 2 stopped after its third tick), 1000
            EXPECT_EQ(fired, (std::vector<UINT_PTR>{2, 2, 1, 2, 1}));
            fired.clear();
        })
        .FireTimer(1)
        .FireTimer(2)
        .Run([](HWND hwnd) {
            EXPECT_TRUE(KillTimer(hwnd, 1));
            EXPECT_FALSE(KillTimer(hwnd, 1));
        })
        .LetTimePass(5000)
        .Ok();
    EXPECT_EQ(d.Run(t.Name()), IDOK);
    EXPECT_EQ(fired, (std::vector<UINT_PTR>{1}));
    EXPECT_EQ(presenter.Problems(), (Texts{"TM_TICKS: timer 2: no such timer is running"}));
}

TEST_F(Timers, SettingATimerAgainRestartsItAndProceduresAreCalledDirectly) {
    ModelessDialog m(MakeDialog("Timer", {}));
    static int procCalls;
    procCalls = 0;
    TIMERPROC proc = [](HWND, UINT message, UINT_PTR id, DWORD) { procCalls += message == WM_TIMER && id == 9; };
    SetTimer(m.hwnd, 9, 100, proc);
    DialogRuntime::LetTimePass(90);
    SetTimer(m.hwnd, 9, 100, proc);
    DialogRuntime::LetTimePass(90);
    EXPECT_EQ(procCalls, 0) << "restarted before it fell due";
    DialogRuntime::LetTimePass(10);
    EXPECT_EQ(procCalls, 1);
    EXPECT_EQ(m.dialog.Count(WM_TIMER), 0);
    SetTimer(m.hwnd, 3, 1, nullptr);
    DialogRuntime::LetTimePass(9);
    EXPECT_EQ(m.dialog.Count(WM_TIMER), 0) << "no timer is faster than 10 ms";
    DialogRuntime::LetTimePass(1);
    EXPECT_EQ(m.dialog.Count(WM_TIMER), 1);
}
