#include "platform/ui/EditControl.h"

#include <cctype>

EditControl::EditControl(int id, DWORD style, std::string text, RECT rect)
    : Window(Kind::Edit, WC_EDIT, id, style, std::move(text), rect) {}

UINT EditControl::ColourMessage() const {
    // Read-only and disabled fields paint like static text.
    return Enabled() && !ReadOnly() ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC;
}

void EditControl::Changed() {
    NotifyCommand(EN_UPDATE);
    NotifyCommand(EN_CHANGE);
}

LRESULT EditControl::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETTEXT:
        // A single-line field reports programmatic changes like typed ones.
        StoreText(lParam ? reinterpret_cast<const char*>(lParam) : "");
        Changed();
        return TRUE;
    case EM_LIMITTEXT:
        limit_ = wParam == 0 ? 0x7FFFFFFE : static_cast<size_t>(wParam);
        return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(limit_);
    case EM_SETREADONLY:
        SetStyle(wParam ? (Style() | ES_READONLY) : (Style() & ~ES_READONLY));
        return TRUE;
    case EM_SETSEL:
        selectionStart_ = static_cast<DWORD>(wParam);
        selectionEnd_ = static_cast<DWORD>(lParam);
        return 0;
    case EM_GETSEL: {
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = selectionStart_;
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = selectionEnd_;
        return MAKELONG(static_cast<WORD>(selectionStart_), static_cast<WORD>(selectionEnd_));
    }
    default: return DefaultProcess(message, wParam, lParam);
    }
}

std::string EditControl::UserType(const std::string& text) {
    std::string accepted;
    std::string refused;
    for (char c : text) {
        bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
        if ((Style() & ES_NUMBER) && !digit) {
            refused += c;
            continue;
        }
        if (accepted.size() >= limit_) {
            refused += c;
            continue;
        }
        accepted += c;
    }
    StoreText(accepted);
    Changed();
    return refused;
}
