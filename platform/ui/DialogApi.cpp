#include "platform/ui/DialogApi.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "platform/system/ErrorText.h"
#include "platform/ui/DialogRuntime.h"
#include "platform/ui/Presenter.h"

namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr DWORD kInvalidParameter = 87;

Window* Resolve(HWND handle) {
    Window* w = Window::FromHandle(handle);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

DialogWindow* ResolveDialog(HWND handle) {
    Window* w = Resolve(handle);
    return w && w->GetKind() == Window::Kind::Dialog ? static_cast<DialogWindow*>(w) : nullptr;
}

INT_PTR RunTemplate(const DialogTemplate& dialog, const std::string& name, HWND owner, DLGPROC proc, LPARAM param) {
    Presenter* presenter = GetPresenter();
    if (!presenter) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return -1;
    }
    DialogWindow* built = DialogRuntime::Build(dialog, name, owner, proc, true);
    return DialogRuntime::RunModalLoop(presenter, built, owner, [built, param] { DialogRuntime::Initialise(built, param); });
}

HWND CreateFromTemplate(const DialogTemplate& dialog, const std::string& name, HWND parent, DLGPROC proc,
                        LPARAM param) {
    DialogWindow* built = DialogRuntime::Build(dialog, name, parent, proc, false);
    HWND handle = built->Handle();
    DialogRuntime::Initialise(built, param);
    Window* w = Window::FromHandle(handle);
    if (!w) return nullptr;
    if (dialog.style & WS_VISIBLE) w->SetStyle(w->Style() | WS_VISIBLE);
    return handle;
}

template <class Name>
INT_PTR DialogBoxByName(HINSTANCE module, Name templateName, HWND owner, DLGPROC proc, LPARAM param) {
    ResourceName name = ResourceName::From(templateName);
    auto dialog = ResourceRegistry::Instance().FindDialog(module, name);
    if (!dialog) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    return RunTemplate(*dialog, name.Describe(), owner, proc, param);
}

template <class Name>
HWND CreateDialogByName(HINSTANCE module, Name templateName, HWND parent, DLGPROC proc, LPARAM param) {
    ResourceName name = ResourceName::From(templateName);
    auto dialog = ResourceRegistry::Instance().FindDialog(module, name);
    if (!dialog) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return CreateFromTemplate(*dialog, name.Describe(), parent, proc, param);
}

void InvalidateTree(Window* w) {
    w->Invalidate();
    for (const auto& c : w->Children()) InvalidateTree(c.get());
}

void PaintTree(Window* w) {
    HWND handle = w->Handle();
    if (w->Invalid() && w->ShownOnScreen()) DialogRuntime::Paint(w);
    w = Window::FromHandle(handle);
    if (!w) return;
    std::vector<HWND> children;
    for (const auto& c : w->Children()) children.push_back(c->Handle());
    for (HWND c : children)
        if (Window* child = Window::FromHandle(c)) PaintTree(child);
}

}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    return DialogBoxByName(module, templateName, owner, proc, param);
}

INT_PTR DialogBoxParamW(HINSTANCE module, const WCHAR* templateName, HWND owner, DLGPROC proc, LPARAM param) {
    return DialogBoxByName(module, templateName, owner, proc, param);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE /*module*/, const DialogTemplate* dialog, HWND owner, DLGPROC proc,
                                LPARAM param) {
    if (!dialog) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    return RunTemplate(*dialog, dialog->caption, owner, proc, param);
}

HWND CreateDialogParamA(HINSTANCE module, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
    return CreateDialogByName(module, templateName, parent, proc, param);
}

HWND CreateDialogIndirectParamA(HINSTANCE /*module*/, const DialogTemplate* dialog, HWND parent, DLGPROC proc,
                                LPARAM param) {
    if (!dialog) return nullptr;
    return CreateFromTemplate(*dialog, dialog->caption, parent, proc, param);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    DialogWindow* d = ResolveDialog(dialog);
    if (!d) return FALSE;
    d->End(result);
    // A modeless dialog that ends merely disappears.
    if (!d->InModalLoop()) d->SetStyle(d->Style() & ~WS_VISIBLE);
    return TRUE;
}

BOOL DestroyWindow(HWND window) {
    Window* w = Resolve(window);
    if (!w) return FALSE;
    DialogRuntime::Destroy(w);
    return TRUE;
}

BOOL IsWindow(HWND window) { return Window::FromHandle(window) ? TRUE : FALSE; }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Resolve(window);
    return w ? DialogRuntime::Send(w, message, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (DialogRuntime::Post(window, message, wParam, lParam)) return TRUE;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dialog, id);
    return item ? SendMessageA(item, message, wParam, lParam) : 0;
}

HWND GetDlgItem(HWND dialog, int id) {
    Window* w = Resolve(dialog);
    if (!w) return nullptr;
    Window* child = w->FindChild(id);
    return child ? child->Handle() : nullptr;
}

int GetDlgCtrlID(HWND window) {
    Window* w = Resolve(window);
    return w ? w->Id() : 0;
}

HWND GetParent(HWND window) {
    Window* w = Resolve(window);
    if (!w) return nullptr;
    if (w->Parent()) return w->Parent()->Handle();
    return IsWindow(w->Owner()) ? w->Owner() : nullptr;
}

HWND GetWindow(HWND window, UINT relation) {
    Window* w = Resolve(window);
    if (!w) return nullptr;
    if (relation == GW_CHILD) return w->Children().empty() ? nullptr : w->Children().front()->Handle();
    if (relation == GW_OWNER) return !w->Parent() && IsWindow(w->Owner()) ? w->Owner() : nullptr;
    Window* parent = w->Parent();
    if (!parent) return nullptr;
    const auto& siblings = parent->Children();
    size_t self = 0;
    while (self < siblings.size() && siblings[self].get() != w) ++self;
    switch (relation) {
    case GW_HWNDFIRST: return siblings.front()->Handle();
    case GW_HWNDLAST: return siblings.back()->Handle();
    case GW_HWNDNEXT: return self + 1 < siblings.size() ? siblings[self + 1]->Handle() : nullptr;
    case GW_HWNDPREV: return self > 0 && self < siblings.size() ? siblings[self - 1]->Handle() : nullptr;
    default: return nullptr;
    }
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    Window* w = Resolve(window);
    if (!w) return FALSE;
    // Controls refuse text with a negative answer (a drop-down list without that entry).
    return DialogRuntime::Send(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) > 0 ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    Window* w = Resolve(window);
    if (!w) return 0;
    return static_cast<int>(DialogRuntime::Send(w, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND window) {
    Window* w = Resolve(window);
    return w ? static_cast<int>(DialogRuntime::Send(w, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND item = GetDlgItem(dialog, id);
    return item ? SetWindowTextA(item, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
    if (buffer && size > 0) buffer[0] = '\0';
    HWND item = GetDlgItem(dialog, id);
    return item ? static_cast<UINT>(GetWindowTextA(item, buffer, size)) : 0;
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    std::string text = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    return SetDlgItemTextA(dialog, id, text.c_str());
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated) *translated = FALSE;
    HWND item = GetDlgItem(dialog, id);
    if (!item) return 0;
    int length = GetWindowTextLengthA(item);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(item, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));

    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos) return 0;
    std::string number = text.substr(begin, end - begin + 1);
    bool negative = isSigned && !number.empty() && number[0] == '-';
    std::string digits = negative ? number.substr(1) : number;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    errno = 0;
    unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, 10);
    if (errno == ERANGE) return 0;
    if (isSigned) {
        long long limit = negative ? -static_cast<long long>(std::numeric_limits<int>::min())
                                   : std::numeric_limits<int>::max();
        if (magnitude > static_cast<unsigned long long>(limit)) return 0;
        if (translated) *translated = TRUE;
        long long value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
        return static_cast<UINT>(static_cast<int>(value));
    }
    if (magnitude > std::numeric_limits<UINT>::max()) return 0;
    if (translated) *translated = TRUE;
    return static_cast<UINT>(magnitude);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND item = GetDlgItem(dialog, id);
    if (!item) return FALSE;
    SendMessageA(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item ? static_cast<UINT>(SendMessageA(item, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
    Window* w = Resolve(dialog);
    if (!w) return FALSE;
    std::vector<HWND> buttons;
    for (const auto& c : w->Children())
        if (c->Id() >= first && c->Id() <= last) buttons.push_back(c->Handle());
    for (HWND b : buttons) SendMessageA(b, BM_SETCHECK, GetDlgCtrlID(b) == check ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
    Window* w = Resolve(window);
    if (!w) return FALSE;
    bool wasDisabled = !w->Enabled();
    if (wasDisabled == !enable) return wasDisabled;
    w->SetStyle(enable ? (w->Style() & ~WS_DISABLED) : (w->Style() | WS_DISABLED));
    DialogRuntime::Send(w, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
    Window* w = Resolve(window);
    return w && w->Enabled();
}

BOOL ShowWindow(HWND window, int command) {
    Window* w = Resolve(window);
    if (!w) return FALSE;
    bool wasVisible = w->Visible();
    w->SetStyle(command == SW_HIDE ? (w->Style() & ~WS_VISIBLE) : (w->Style() | WS_VISIBLE));
    if (command != SW_HIDE) InvalidateTree(w);
    return wasVisible;
}

BOOL IsWindowVisible(HWND window) {
    Window* w = Resolve(window);
    return w && w->ShownOnScreen();
}

HWND SetFocus(HWND window) { return DialogRuntime::SetFocus(window); }

HWND GetActiveWindow() { return DialogRuntime::ActiveModal(); }

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    Window* w = Resolve(window);
    if (!w) return 0;
    bool valid = false;
    LONG_PTR value = w->GetLong(index, &valid);
    if (!valid) SetLastError(kInvalidParameter);
    return value;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    Window* w = Resolve(window);
    if (!w) return 0;
    bool valid = false;
    LONG_PTR previous = w->SetLong(index, value, &valid);
    if (!valid) SetLastError(kInvalidParameter);
    return previous;
}

BOOL InvalidateRect(HWND window, const RECT* /*rect*/, BOOL /*erase*/) {
    if (!window) {
        for (HWND h : Window::ThreadWindows())
            if (Window* w = Window::FromHandle(h)) w->Invalidate();
        return TRUE;
    }
    Window* w = Resolve(window);
    if (!w) return FALSE;
    w->Invalidate();
    return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    Window* w = Resolve(window);
    if (!w || !rect) return FALSE;
    *rect = w->ScreenRect();
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    Window* w = Resolve(window);
    if (!w || !rect) return FALSE;
    const RECT& r = w->Rect();
    *rect = RECT{0, 0, r.right - r.left, r.bottom - r.top};
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    Window* w = Resolve(window);
    if (!w) return FALSE;
    w->SetRect(RECT{x, y, x + width, y + height});
    if (repaint) w->Invalidate();
    return TRUE;
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN: return kScreenWidth;
    case SM_CYSCREEN: return kScreenHeight;
    default: return 0;
    }
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    Window* w = Resolve(window);
    return w ? DialogRuntime::StartTimer(w, id, elapseMs, proc) : 0;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    Window* w = Resolve(window);
    if (!w) return FALSE;
    auto& timers = w->Timers();
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->id == id) {
            timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}
