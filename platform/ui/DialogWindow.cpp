#include "platform/ui/DialogWindow.h"

#include "platform/ui/DialogApi.h"

namespace {
// Messages whose answer is the procedure's own return value rather than the
// DWLP_MSGRESULT slot.
bool AnswersDirectly(UINT message) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case 0x0132:  // WM_CTLCOLORMSGBOX
    case 0x0137:  // WM_CTLCOLORSCROLLBAR
    case 0x002E:  // WM_VKEYTOITEM
    case 0x002F:  // WM_CHARTOITEM
    case 0x0037:  // WM_QUERYDRAGICON
    case 0x0039:  // WM_COMPAREITEM
        return true;
    default: return false;
    }
}
}  // namespace

DialogWindow::DialogWindow(std::string name, std::string caption, DWORD style, RECT rect, DLGPROC proc)
    : Window(Kind::Dialog, "#32770", 0, style, std::move(caption), rect), name_(std::move(name)), proc_(proc) {}

LRESULT DialogWindow::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    if (proc_) {
        // A fresh slot per message, so that a handler's answer never leaks into the next
        // one; a message sent from inside a handler leaves that handler's answer alone.
        LONG_PTR outer = messageResult_;
        messageResult_ = 0;
        INT_PTR handled = proc_(Handle(), message, wParam, lParam);
        LONG_PTR answer = messageResult_;
        messageResult_ = outer;
        if (AnswersDirectly(message)) return handled;
        if (handled) return answer;
    }
    return DefaultDialogProcess(message, wParam, lParam);
}

LRESULT DialogWindow::DefaultDialogProcess(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE: {
        // Closing a dialog is its Cancel button, unless that button is disabled.
        Window* cancel = FindChild(IDCANCEL);
        if (cancel && !cancel->Enabled()) return 0;
        SendMessageA(Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(cancel ? cancel->Handle() : nullptr));
        return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: return 0;
    default: return DefaultProcess(message, wParam, lParam);
    }
}

LONG_PTR DialogWindow::GetLong(int index, bool* valid) const {
    *valid = true;
    switch (index) {
    case DWLP_MSGRESULT: return messageResult_;
    case DWLP_DLGPROC: return reinterpret_cast<LONG_PTR>(proc_);
    case DWLP_USER: return user_;
    default: return Window::GetLong(index, valid);
    }
}

LONG_PTR DialogWindow::SetLong(int index, LONG_PTR value, bool* valid) {
    *valid = true;
    LONG_PTR previous = GetLong(index, valid);
    switch (index) {
    case DWLP_MSGRESULT: messageResult_ = value; return previous;
    case DWLP_DLGPROC: proc_ = reinterpret_cast<DLGPROC>(value); return previous;
    case DWLP_USER: user_ = value; return previous;
    default: return Window::SetLong(index, value, valid);
    }
}

void DialogWindow::Describe(ControlState& state) const {
    Window::Describe(state);
    state.className = "dialog";
}
