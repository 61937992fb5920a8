#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/DialogApi.h"
#include "platform/ui/ScriptedPresenter.h"

using Commands = std::vector<std::pair<int, int>>;
using Texts = std::vector<std::string>;

// A dialog procedure that logs every message and hands it to the test's handler.
// Without a handler (or when it returns 0), OK and Cancel end the dialog with their
// identifiers.
struct TestDialog {
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handler;
    std::vector<std::pair<UINT, WPARAM>> log;
    HWND hwnd = nullptr;

    static INT_PTR Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
            reinterpret_cast<TestDialog*>(lParam)->hwnd = hwnd;
        }
        auto* self = reinterpret_cast<TestDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
        if (!self) return FALSE;
        self->log.emplace_back(message, wParam);
        if (INT_PTR r = self->handler ? self->handler(hwnd, message, wParam, lParam) : 0) return r;
        if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            EndDialog(hwnd, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }

    LPARAM Param() const { return reinterpret_cast<LPARAM>(this); }
    // Runs the dialog modally from the main program's template of that name.
    INT_PTR Run(const char* name, HWND owner = nullptr) {
        return DialogBoxParamA(nullptr, name, owner, &TestDialog::Proc, Param());
    }
    // WM_COMMANDs as (control, notification code), in order.
    Commands CommandsSent() const {
        Commands out;
        for (const auto& [message, wParam] : log)
            if (message == WM_COMMAND) out.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return out;
    }
    int Count(UINT message) const {
        int n = 0;
        for (const auto& entry : log) n += entry.first == message;
        return n;
    }
};

inline ControlTemplate Control(int id, const char* className, const char* text, DWORD style = 0) {
    return ControlTemplate{id, className, text, 10, 10, 60, 12, style, false};
}

inline DialogTemplate MakeDialog(const char* caption, std::vector<ControlTemplate> controls) {
    DialogTemplate t;
    t.caption = caption;
    t.cx = 200;
    t.cy = 120;
    t.controls = std::move(controls);
    return t;
}

// A template in the main program's resources for the life of the object.
class ScopedTemplate {
public:
    ScopedTemplate(std::string name, DialogTemplate dialog) : name_(std::move(name)) {
        RegisterDialogTemplate(nullptr, name_.c_str(), std::move(dialog));
    }
    ~ScopedTemplate() { UnregisterDialogTemplate(nullptr, name_.c_str()); }
    ScopedTemplate(const ScopedTemplate&) = delete;
    ScopedTemplate& operator=(const ScopedTemplate&) = delete;
    const char* Name() const { return name_.c_str(); }

private:
    std::string name_;
};

// Tests that work their dialogs through a script.
class ScriptedTest : public ::testing::Test {
protected:
    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
};

// A modeless top-level dialog: controls can be tried out without any presenter.
struct ModelessDialog {
    TestDialog dialog;
    HWND hwnd = nullptr;

    explicit ModelessDialog(const DialogTemplate& t)
        : hwnd(CreateDialogIndirectParamA(nullptr, &t, nullptr, &TestDialog::Proc, dialog.Param())) {}
    ~ModelessDialog() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    HWND Item(int id) const { return GetDlgItem(hwnd, id); }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendDlgItemMessageA(hwnd, id, message, wParam, lParam);
    }
    LRESULT SendText(int id, UINT message, WPARAM wParam, const char* text) const {
        return Send(id, message, wParam, reinterpret_cast<LPARAM>(text));
    }
    void Click(int id) const { SendMessageA(Item(id), BM_CLICK, 0, 0); }
    UINT Checked(int id) const { return IsDlgButtonChecked(hwnd, id); }
    std::string Text(int id) const {
        char buffer[512];
        GetDlgItemTextA(hwnd, id, buffer, sizeof buffer);
        return buffer;
    }
};
