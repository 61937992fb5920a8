// Modal dialogs, the presenter hand-over and the window calls around them.
#include <thread>

#include "platform/system/ErrorText.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

DialogTemplate OkCancelDialog() {
    return MakeDialog("Settings", {Control(IDOK, WC_BUTTON, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP),
                                   Control(IDCANCEL, WC_BUTTON, "Cancel"), Control(200, WC_EDIT, "", WS_TABSTOP),
                                   Control(201, WC_STATIC, "Label")});
}

}  // namespace

TEST(DialogRuntime, WithoutPresenterNothingIsShownAndTheResultIsMinusOne) {
    ScopedTemplate t("RT_NOPRESENTER", OkCancelDialog());
    TestDialog d;
    SetPresenter(nullptr);
    SetLastError(0);
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, d.Param()), -1);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(d.log.empty()) << "no window was built, so no message was sent";
}

TEST(DialogRuntime, MissingTemplateFailsWithoutShowingAnything) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate t("RT_PRESENT", OkCancelDialog());
    TestDialog d;
    SetLastError(0);
    EXPECT_EQ(DialogBoxParamA(nullptr, "RT_ABSENT", nullptr, &TestDialog::Proc, d.Param()), -1);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    // Templates belong to the module that registered them.
    int tag = 0;
    EXPECT_EQ(DialogBoxParamA(&tag, t.Name(), nullptr, &TestDialog::Proc, d.Param()), -1);
    EXPECT_TRUE(d.log.empty());
    EXPECT_TRUE(presenter.Dialogs().empty());
}

TEST(DialogRuntime, TemplateNamesIgnoreCaseAndNumberedNamesMatchIdentifiers) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    RegisterDialogTemplate(nullptr, MAKEINTRESOURCEA(4711), OkCancelDialog());
    ScopedTemplate named("RT_MixedCase", OkCancelDialog());
    TestDialog d;
    presenter.Ok().Ok().Ok();
    EXPECT_EQ(DialogBoxParamA(nullptr, "rt_mixedcase", nullptr, &TestDialog::Proc, d.Param()), IDOK);
    EXPECT_EQ(DialogBoxParamA(nullptr, "#4711", nullptr, &TestDialog::Proc, d.Param()), IDOK);
    EXPECT_EQ(DialogBoxParamW(nullptr, u"RT_MIXEDCASE", nullptr, &TestDialog::Proc, d.Param()), IDOK);
    EXPECT_TRUE(UnregisterDialogTemplate(nullptr, MAKEINTRESOURCEA(4711)));
    ASSERT_EQ(presenter.Dialogs().size(), 3u);
    EXPECT_EQ(presenter.Dialogs()[1].name, "#4711");
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST(DialogRuntime, RunsTheScriptAndRecordsWhatWasShown) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate t("RT_RECORD", OkCancelDialog());
    TestDialog d;
    d.handler = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SetDlgItemTextA(hwnd, 201, "Filled in");
            EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
            return TRUE;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            // Ending first: the controls stay readable until the handler returns.
            EndDialog(hwnd, 77);
            char text[64];
            GetDlgItemTextA(hwnd, 200, text, sizeof text);
            SetDlgItemTextA(hwnd, 201, text);
            return TRUE;
        }
        return FALSE;
    };
    presenter.Type(200, "typed").Ok();
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, d.Param()), 77);

    ASSERT_EQ(presenter.Dialogs().size(), 1u);
    const auto& shown = presenter.Dialogs()[0];
    EXPECT_EQ(shown.name, "RT_RECORD");
    EXPECT_EQ(shown.result, 77);
    ASSERT_EQ(shown.states.size(), 4u);  // shown, typed, OK, ended
    EXPECT_EQ(shown.Shown().caption, "Settings");
    EXPECT_EQ(shown.Shown().Find(201)->text, "Filled in");
    EXPECT_FALSE(shown.Shown().Find(IDCANCEL)->enabled);
    EXPECT_TRUE(shown.Shown().Find(IDOK)->focused) << "WM_INITDIALOG returned TRUE: focus on the first tab stop";
    EXPECT_EQ(shown.states[1].Find(200)->text, "typed");
    EXPECT_EQ(shown.Last().label, "ended");
    EXPECT_EQ(shown.Last().Find(201)->text, "typed");
    EXPECT_TRUE(presenter.Problems().empty());
    // The window is gone once DialogBox returns.
    EXPECT_FALSE(IsWindow(d.hwnd));
    EXPECT_EQ(GetDlgItem(d.hwnd, 200), nullptr);
    EXPECT_EQ(SendMessageA(d.hwnd, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(d.Count(WM_DESTROY), 1);
}

TEST(DialogRuntime, EndingDuringInitialisationNeverShowsTheDialog) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate t("RT_EARLYEND", OkCancelDialog());
    TestDialog d;
    d.handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) EndDialog(hwnd, 5);
        return FALSE;
    };
    presenter.Ok();
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, d.Param()), 5);
    EXPECT_TRUE(presenter.Dialogs().empty());
    EXPECT_EQ(presenter.StepsLeft(), 1u);
}

TEST(DialogRuntime, AScriptThatRunsOutClosesTheDialogInsteadOfHanging) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate t("RT_RUNOUT", OkCancelDialog());
    TestDialog cancellable;
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, cancellable.Param()), IDCANCEL);

    // A dialog that ignores Cancel is ended anyway.
    TestDialog stubborn;
    stubborn.handler = [](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        return message == WM_COMMAND && LOWORD(wParam) == IDCANCEL;
    };
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, stubborn.Param()), 0);
    ASSERT_EQ(presenter.Problems().size(), 2u);
    EXPECT_EQ(presenter.Problems()[0], "RT_RUNOUT: the script ended while the dialog was open");
}

TEST(DialogRuntime, StepsAPersonCouldNotTakeAreRefusedAndNoted) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    DialogTemplate dialog = OkCancelDialog();
    dialog.controls.push_back(ControlTemplate{300, WC_BUTTON, "Hidden", 0, 0, 10, 10, BS_PUSHBUTTON, true});
    dialog.controls.push_back(Control(301, WC_BUTTON, "Off", BS_PUSHBUTTON | WS_DISABLED));
    ScopedTemplate t("RT_REFUSE", dialog);
    TestDialog d;
    presenter.Click(300).Click(301).Click(999).Click(201).Type(IDOK, "x").Answer(IDYES).Ok();
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, d.Param()), IDOK);
    std::vector<std::string> expected = {
        "RT_REFUSE: click 300: the control is hidden",  "RT_REFUSE: click 301: the control is disabled",
        "RT_REFUSE: click 999: no such control",       "RT_REFUSE: click 201: not a button",
        "RT_REFUSE: type \"x\" into 1: nothing to type into", "RT_REFUSE: answer 6: no message box is open",
    };
    EXPECT_EQ(presenter.Problems(), expected);
    EXPECT_EQ(d.Commands(), (std::vector<std::pair<int, int>>{{IDOK, BN_CLICKED}}));
}

TEST(DialogRuntime, NestedDialogsShareTheScriptAndDisableTheirOwner) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate outerTemplate("RT_OUTER", OkCancelDialog());
    ScopedTemplate innerTemplate("RT_INNER", OkCancelDialog());
    TestDialog inner;
    TestDialog outer;
    INT_PTR innerResult = 0;
    BOOL ownerEnabledDuringInner = TRUE;
    outer.handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == 201) return TRUE;
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK && !innerResult) {
            innerResult = DialogBoxParamA(nullptr, innerTemplate.Name(), hwnd, &TestDialog::Proc, inner.Param());
            return TRUE;
        }
        return FALSE;
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
    EXPECT_EQ(DialogBoxParamA(nullptr, outerTemplate.Name(), nullptr, &TestDialog::Proc, outer.Param()), IDOK);
    EXPECT_EQ(innerResult, IDCANCEL);
    EXPECT_FALSE(ownerEnabledDuringInner);
    ASSERT_EQ(presenter.Dialogs().size(), 2u);
    EXPECT_EQ(presenter.Dialogs()[0].name, "RT_OUTER");
    EXPECT_EQ(presenter.Dialogs()[1].name, "RT_INNER");
    EXPECT_EQ(presenter.Dialogs()[1].Last().Find(200)->text, "inner text");
    EXPECT_TRUE(presenter.Dialogs()[0].Last().enabled) << "the owner takes input again";
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST(DialogRuntime, ClosingSendsCancelUnlessTheCancelButtonIsDisabled) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate t("RT_CLOSE", OkCancelDialog());
    TestDialog d;
    presenter.Close();
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, d.Param()), IDCANCEL);
    EXPECT_EQ(d.Commands(), (std::vector<std::pair<int, int>>{{IDCANCEL, BN_CLICKED}}));

    TestDialog locked;
    locked.handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
        return FALSE;
    };
    presenter.Close().Ok();
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, locked.Param()), IDOK);
    EXPECT_EQ(locked.Commands(), (std::vector<std::pair<int, int>>{{IDOK, BN_CLICKED}}));
}

TEST(DialogRuntime, NotificationAnswersComeFromTheResultSlotColourAnswersDirectly) {
    ModelessDialog m(OkCancelDialog());
    m.dialog.handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_NOTIFY) {
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 1234);
            SetDlgItemTextA(hwnd, 200, "changed");  // notifies this dialog from inside the handler
            return TRUE;
        }
        if (message == WM_CTLCOLOREDIT) return 99;
        if (message == WM_USER) return TRUE;  // handled, result slot left alone
        return FALSE;
    };
    NMHDR header{};
    EXPECT_EQ(SendMessageA(m.hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header)), 1234);
    EXPECT_EQ(m.dialog.Count(WM_COMMAND), 2) << "the edit's update and change came in between";
    EXPECT_EQ(SendMessageA(m.hwnd, WM_CTLCOLOREDIT, 0, 0), 99);
    EXPECT_EQ(SendMessageA(m.hwnd, WM_USER, 0, 0), 0) << "each message starts with a clean result slot";
    SetWindowLongPtrA(m.hwnd, GWLP_USERDATA, 42);
    EXPECT_EQ(GetWindowLongPtrA(m.hwnd, GWLP_USERDATA), 42);
    EXPECT_EQ(GetWindowLongPtrA(m.Item(200), DWLP_MSGRESULT), 0) << "controls have no dialog slots";
}

TEST(DialogRuntime, DestroyingAWindowFromItsOwnHandlerIsSafe) {
    ModelessDialog m(OkCancelDialog());
    m.dialog.handler = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            DestroyWindow(hwnd);
            // Still inside the handler: the handle is dead, the memory is not.
            EXPECT_FALSE(IsWindow(hwnd));
            SetDlgItemTextA(hwnd, 200, "ignored");
            return TRUE;
        }
        return FALSE;
    };
    SendMessageA(m.Item(IDOK), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindow(m.hwnd));
    EXPECT_EQ(m.dialog.Count(WM_DESTROY), 1);
    EXPECT_FALSE(DestroyWindow(m.hwnd));
}

TEST(DialogRuntime, PostedMessagesArriveWhenTheDialogLoopRuns) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate t("RT_POST", OkCancelDialog());
    TestDialog d;
    d.handler = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_APP) SetDlgItemInt(hwnd, 200, static_cast<UINT>(wParam), FALSE);
        return FALSE;
    };
    presenter
        .Run([](HWND dialog) {
            EXPECT_TRUE(PostMessageA(dialog, WM_APP, 7, 0));
            EXPECT_EQ(GetDlgItemInt(dialog, 200, nullptr, FALSE), 0u) << "not delivered while the step runs";
        })
        .Run([](HWND dialog) { EXPECT_EQ(GetDlgItemInt(dialog, 200, nullptr, FALSE), 7u); })
        .Ok();
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, d.Param()), IDOK);
    EXPECT_FALSE(PostMessageA(d.hwnd, WM_APP, 1, 0)) << "a window that is gone takes no posts";
}

TEST(DialogRuntime, IntegerFieldsReadOnlyWholeNumbersInRange) {
    ModelessDialog m(OkCancelDialog());
    struct Case {
        const char* text;
        BOOL isSigned;
        BOOL ok;
        UINT value;
    };
    const Case cases[] = {
        {" 42 ", FALSE, TRUE, 42},         {"4294967295", FALSE, TRUE, 4294967295u}, {"4294967296", FALSE, FALSE, 0},
        {"-5", TRUE, TRUE, static_cast<UINT>(-5)}, {"-5", FALSE, FALSE, 0},     {"12a", FALSE, FALSE, 0},
        {"", FALSE, FALSE, 0},             {"2147483648", TRUE, FALSE, 0},          {"-2147483648", TRUE, TRUE, 0x80000000u},
    };
    for (const Case& c : cases) {
        SetDlgItemTextA(m.hwnd, 200, c.text);
        BOOL ok = 2;
        EXPECT_EQ(GetDlgItemInt(m.hwnd, 200, &ok, c.isSigned), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
    SetDlgItemInt(m.hwnd, 200, static_cast<UINT>(-12), TRUE);
    EXPECT_EQ(m.Text(200), "-12");
    SetDlgItemInt(m.hwnd, 200, static_cast<UINT>(-12), FALSE);
    EXPECT_EQ(m.Text(200), "4294967284");
}

TEST(DialogRuntime, TextCallsTruncateAndTerminate) {
    ModelessDialog m(OkCancelDialog());
    SetDlgItemTextA(m.hwnd, 201, "abcdef");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetDlgItemTextA(m.hwnd, 201, buffer, 4), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(GetWindowTextLengthA(m.Item(201)), 6);
    char none[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetDlgItemTextA(m.hwnd, 999, none, 4), 0u);
    EXPECT_EQ(none[0], '\0');
    EXPECT_FALSE(SetDlgItemTextA(m.hwnd, 999, "nowhere"));
    EXPECT_EQ(GetDlgCtrlID(m.Item(201)), 201);
    EXPECT_EQ(GetParent(m.Item(201)), m.hwnd);
    EXPECT_EQ(GetWindow(m.hwnd, GW_CHILD), m.Item(IDOK));
    EXPECT_EQ(GetWindow(m.Item(IDOK), GW_HWNDNEXT), m.Item(IDCANCEL));
    EXPECT_EQ(GetWindow(m.Item(201), GW_HWNDNEXT), nullptr);
}

TEST(DialogRuntime, GeometryFollowsDialogUnitsAndMoves) {
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
    MoveWindow(m.Item(200), 1, 2, 30, 40, TRUE);
    POINT p{r.left, r.top};
    ScreenToClient(m.hwnd, &p);
    EXPECT_EQ(p.x, 6);
    EXPECT_EQ(p.y, 13);
    GetClientRect(m.Item(200), &r);
    EXPECT_EQ(r.right, 30);
    EXPECT_EQ(r.bottom, 40);
    SetWindowPos(m.Item(200), nullptr, 5, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    GetWindowRect(m.Item(200), &r);
    EXPECT_EQ(r.left, 12 + 5);
    EXPECT_EQ(r.right - r.left, 30);
    RECT units{4, 8, 44, 24};
    MapDialogRect(m.hwnd, &units);
    EXPECT_EQ(units.left, 6);
    EXPECT_EQ(units.bottom, 39);
}
