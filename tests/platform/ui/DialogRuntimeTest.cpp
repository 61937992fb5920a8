// Modal dialogs, the presenter hand-over and the window calls around them.
#include "platform/system/ErrorText.h"
#include "platform/ui/ResourceRegistry.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

DialogTemplate OkCancelDialog() {
    return MakeDialog("Settings", {Control(IDOK, WC_BUTTON, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP),
                                   Control(IDCANCEL, WC_BUTTON, "Cancel"), Control(200, WC_EDIT, "", WS_TABSTOP),
                                   Control(201, WC_STATIC, "Label")});
}

using DialogRuntime = ScriptedTest;

}  // namespace

TEST_F(DialogRuntime, TemplatesAreFoundByNameAndNothingShowsWithoutAPresenter) {
    ScopedTemplate t("RT_MixedCase", OkCancelDialog());
    TestDialog d;
    SetPresenter(nullptr);
    SetLastError(0);
    EXPECT_EQ(d.Run(t.Name()), -1);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    SetPresenter(&presenter);
    EXPECT_EQ(d.Run("RT_ABSENT"), -1);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    int tag = 0;
    EXPECT_EQ(DialogBoxParamA(&tag, t.Name(), nullptr, &TestDialog::Proc, d.Param()), -1)
        << "templates belong to the module that registered them";
    EXPECT_TRUE(d.log.empty()) << "no window was built, so no message was sent";
    EXPECT_TRUE(presenter.Dialogs().empty());

    RegisterDialogTemplate(nullptr, MAKEINTRESOURCEA(4711), OkCancelDialog());
    presenter.Ok().Ok().Ok();
    EXPECT_EQ(d.Run("rt_mixedcase"), IDOK);
    EXPECT_EQ(d.Run("#4711"), IDOK);
    EXPECT_EQ(DialogBoxParamW(nullptr, u"RT_MIXEDCASE", nullptr, &TestDialog::Proc, d.Param()), IDOK);
    EXPECT_TRUE(UnregisterDialogTemplate(nullptr, MAKEINTRESOURCEA(4711)));
    ASSERT_EQ(presenter.Dialogs().size(), 3u);
    EXPECT_EQ(presenter.Dialogs()[1].name, "#4711");
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST_F(DialogRuntime, RunsTheScriptAndRecordsWhatWasShown) {
    ScopedTemplate t("RT_RECORD", OkCancelDialog());
    RegisterIconResource(nullptr, MAKEINTRESOURCEA(188));
    TestDialog d;
    d.handler = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SetDlgItemTextA(hwnd, 201, "Filled in");
            EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
            SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadIconA(nullptr, MAKEINTRESOURCEA(188))));
            return TRUE;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            EndDialog(hwnd, 77);  // the controls stay readable until the handler returns
            char text[64];
            GetDlgItemTextA(hwnd, 200, text, sizeof text);
            SetDlgItemTextA(hwnd, 201, text);
            return TRUE;
        }
        return FALSE;
    };
    presenter.Type(200, "typed").Ok();
    EXPECT_EQ(d.Run(t.Name()), 77);
    ASSERT_EQ(presenter.Dialogs().size(), 1u);
    const auto& shown = presenter.Dialogs()[0];
    EXPECT_EQ(shown.name, "RT_RECORD");
    EXPECT_EQ(shown.result, 77);
    ASSERT_EQ(shown.states.size(), 4u);  // shown, typed, OK, ended
    EXPECT_EQ(shown.Shown().caption, "Settings");
    EXPECT_EQ(shown.Shown().smallIcon, "#188");
    EXPECT_EQ(shown.Shown().Find(201)->text, "Filled in");
    EXPECT_FALSE(shown.Shown().Find(IDCANCEL)->enabled);
    EXPECT_TRUE(shown.Shown().Find(IDOK)->focused) << "WM_INITDIALOG returned TRUE: focus on the first tab stop";
    EXPECT_EQ(shown.states[1].Find(200)->text, "typed");
    EXPECT_EQ(shown.Last().Find(201)->text, "typed");
    EXPECT_TRUE(presenter.Problems().empty());
    EXPECT_FALSE(IsWindow(d.hwnd)) << "the window is gone once DialogBox returns";
    EXPECT_EQ(d.Count(WM_DESTROY), 1);
}

TEST_F(DialogRuntime, HowDialogsEnd) {
    ScopedTemplate t("RT_END", OkCancelDialog());
    TestDialog early, closed, locked, cancellable, stubborn;
    early.handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) EndDialog(hwnd, 5);
        return FALSE;
    };
    presenter.Ok();
    EXPECT_EQ(early.Run(t.Name()), 5);
    EXPECT_TRUE(presenter.Dialogs().empty()) << "ended while initialising: never shown";
    presenter.Close();  // the step left over from above comes first
    EXPECT_EQ(closed.Run(t.Name()), IDOK);
    EXPECT_EQ(closed.Run(t.Name()), IDCANCEL) << "closing clicks Cancel";
    EXPECT_EQ(closed.CommandsSent(), (Commands{{IDOK, BN_CLICKED}, {IDCANCEL, BN_CLICKED}}));

    locked.handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
        return FALSE;
    };
    presenter.Close().Ok();
    EXPECT_EQ(locked.Run(t.Name()), IDOK);
    EXPECT_EQ(locked.CommandsSent(), (Commands{{IDOK, BN_CLICKED}})) << "no Cancel while it is disabled";
    EXPECT_TRUE(presenter.Problems().empty());

    // A script that runs out closes the dialog instead of hanging; one that ignores Cancel is ended anyway.
    stubborn.handler = [](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        return message == WM_COMMAND && LOWORD(wParam) == IDCANCEL;
    };
    EXPECT_EQ(cancellable.Run(t.Name()), IDCANCEL);
    EXPECT_EQ(stubborn.Run(t.Name()), 0);
    EXPECT_EQ(presenter.Problems(), Texts(2, "RT_END: the script ended while the dialog was open"));
}

TEST_F(DialogRuntime, StepsAPersonCouldNotTakeAreRefusedAndNoted) {
    DialogTemplate dialog = OkCancelDialog();
    dialog.controls.push_back(ControlTemplate{300, WC_BUTTON, "Hidden", 0, 0, 10, 10, BS_PUSHBUTTON, true});
    dialog.controls.push_back(Control(301, WC_BUTTON, "Off", BS_PUSHBUTTON | WS_DISABLED));
    ScopedTemplate t("RT_REFUSE", dialog);
    TestDialog d;
    presenter.Click(300).Click(301).Click(999).Click(201).Type(IDOK, "x").Answer(IDYES).Ok();
    EXPECT_EQ(d.Run(t.Name()), IDOK);
    EXPECT_EQ(presenter.Problems(),
              (Texts{"RT_REFUSE: click 300: the control is hidden", "RT_REFUSE: click 301: the control is disabled",
                     "RT_REFUSE: click 999: no such control", "RT_REFUSE: click 201: not a button",
                     "RT_REFUSE: type \"x\" into 1: nothing to type into", "RT_REFUSE: answer 6: no message box is open"}));
    EXPECT_EQ(d.CommandsSent(), (Commands{{IDOK, BN_CLICKED}}));
}

TEST_F(DialogRuntime, NestedDialogsShareTheScriptAndDisableTheirOwner) {
    ScopedTemplate outerTemplate("RT_OUTER", OkCancelDialog()), innerTemplate("RT_INNER", OkCancelDialog());
    TestDialog inner, outer;
    INT_PTR innerResult = 0;
    BOOL ownerEnabledDuringInner = TRUE;
    outer.handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message != WM_COMMAND || LOWORD(wParam) != IDOK || innerResult) return FALSE;
        innerResult = inner.Run(innerTemplate.Name(), hwnd);
        return TRUE;
    };
    presenter.Ok()  // opens the inner dialog
        .Run([&](HWND dialog) {
            ownerEnabledDuringInner = IsWindowEnabled(outer.hwnd);
            EXPECT_EQ(GetActiveWindow(), dialog);
            EXPECT_EQ(GetParent(dialog), outer.hwnd);
        })
        .Type(200, "inner text")
        .Cancel()  // ends the inner dialog
        .Ok();     // ends the outer one
    EXPECT_EQ(outer.Run(outerTemplate.Name()), IDOK);
    EXPECT_EQ(innerResult, IDCANCEL);
    EXPECT_FALSE(ownerEnabledDuringInner);
    ASSERT_EQ(presenter.Dialogs().size(), 2u);
    EXPECT_EQ(presenter.Dialogs()[1].Last().Find(200)->text, "inner text");
    EXPECT_TRUE(presenter.Dialogs()[0].Last().enabled) << "the owner takes input again";
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST_F(DialogRuntime, ResultSlotsAndDestroyingAWindowFromItsOwnHandler) {
    ModelessDialog m(OkCancelDialog());
    m.dialog.handler = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_NOTIFY) {
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 1234);
            SetDlgItemTextA(hwnd, 200, "changed");  // notifies this dialog from inside the handler
            return TRUE;
        }
        if (message == WM_CTLCOLOREDIT) return 99;
        if (message == WM_USER) return TRUE;  // handled, result slot left alone
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            DestroyWindow(hwnd);
            EXPECT_FALSE(IsWindow(hwnd)) << "the handle is dead, the memory is not";
            SetDlgItemTextA(hwnd, 200, "ignored");
            return TRUE;
        }
        return FALSE;
    };
    NMHDR header{};
    EXPECT_EQ(SendMessageA(m.hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header)), 1234);
    EXPECT_EQ(m.dialog.Count(WM_COMMAND), 2) << "the edit's update and change came in between";
    EXPECT_EQ(SendMessageA(m.hwnd, WM_CTLCOLOREDIT, 0, 0), 99) << "colour answers come directly";
    EXPECT_EQ(SendMessageA(m.hwnd, WM_USER, 0, 0), 0) << "each message starts with a clean result slot";
    EXPECT_EQ(GetWindowLongPtrA(m.Item(200), DWLP_MSGRESULT), 0) << "controls have no dialog slots";
    m.Click(IDOK);
    EXPECT_FALSE(IsWindow(m.hwnd));
    EXPECT_EQ(m.dialog.Count(WM_DESTROY), 1);
}

TEST_F(DialogRuntime, IntegerAndTextCallsCheckRangesAndTruncate) {
    ModelessDialog m(OkCancelDialog());
    struct Case {
        const char* text;
        BOOL isSigned, ok;
        UINT value;
    } const cases[] = {{" 42 ", FALSE, TRUE, 42}, {"4294967295", FALSE, TRUE, 4294967295u}, {"4294967296", FALSE, FALSE, 0},
                       {"-5", TRUE, TRUE, static_cast<UINT>(-5)}, {"-5", FALSE, FALSE, 0}, {"12a", FALSE, FALSE, 0},
                       {"", FALSE, FALSE, 0}, {"2147483648", TRUE, FALSE, 0}, {"-2147483648", TRUE, TRUE, 0x80000000u}};
    for (const Case& c : cases) {
        SetDlgItemTextA(m.hwnd, 200, c.text);
        BOOL ok = 2;
        EXPECT_EQ(GetDlgItemInt(m.hwnd, 200, &ok, c.isSigned), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
    SetDlgItemInt(m.hwnd, 200, static_cast<UINT>(-12), FALSE);
    EXPECT_EQ(m.Text(200), "4294967284");
    SetDlgItemTextA(m.hwnd, 201, "abcdef");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetDlgItemTextA(m.hwnd, 201, buffer, 4), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(GetDlgItemTextA(m.hwnd, 999, buffer, 4), 0u);
    EXPECT_EQ(buffer[0], '\0') << "no such control: an empty text";
}

TEST_F(DialogRuntime, GeometryFollowsDialogUnits) {
    DialogTemplate t = OkCancelDialog();
    t.x = 8;
    t.y = 16;
    t.controls[2] = ControlTemplate{200, WC_EDIT, "", 4, 8, 40, 16, 0, false};
    ModelessDialog m(t);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(m.Item(200), &r));
    // 4 units across are 6 pixels, 8 down are 13: the dialog at (12, 26) plus the control.
    EXPECT_EQ(r.left, 12 + 6);
    EXPECT_EQ(r.top, 26 + 13);
    EXPECT_EQ(r.right - r.left, 60);
    EXPECT_EQ(r.bottom - r.top, 26);
    MoveWindow(m.Item(200), 5, 6, 30, 20, TRUE);
    GetWindowRect(m.Item(200), &r);
    EXPECT_EQ(r.left, 12 + 5) << "moved within the dialog";
    EXPECT_EQ(r.right - r.left, 30);
}
