#include "platform/ui/ButtonControl.h"

ButtonControl::ButtonControl(int id, DWORD style, std::string text, RECT rect)
    : Window(Kind::Button, WC_BUTTON, id, style, std::move(text), rect) {}

bool ButtonControl::HasCheck() const {
    switch (Type()) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON: return true;
    default: return false;
    }
}

UINT ButtonControl::ColourMessage() const {
    DWORD type = Type();
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
}

LRESULT ButtonControl::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case BM_GETCHECK: return HasCheck() ? check_ : BST_UNCHECKED;
    case BM_GETSTATE: return HasCheck() ? check_ : BST_UNCHECKED;
    case BM_SETCHECK: {
        if (!HasCheck()) return 0;
        UINT wanted = static_cast<UINT>(wParam);
        if (wanted == BST_INDETERMINATE && Type() != BS_3STATE && Type() != BS_AUTO3STATE) wanted = BST_CHECKED;
        if (wanted > BST_INDETERMINATE) wanted = BST_CHECKED;
        if (wanted != check_) {
            check_ = wanted;
            Invalidate();
        }
        return 0;
    }
    case BM_SETSTYLE:
        SetStyle((Style() & ~BS_TYPEMASK) | (static_cast<DWORD>(wParam) & BS_TYPEMASK));
        return 0;
    case BM_CLICK:
        if (TakesInput()) Click();
        return 0;
    default: return DefaultProcess(message, wParam, lParam);
    }
}

void ButtonControl::Click() {
    switch (Type()) {
    case BS_AUTOCHECKBOX:
        check_ = check_ == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        Invalidate();
        break;
    case BS_AUTO3STATE:
        check_ = (check_ + 1) % 3;
        Invalidate();
        break;
    case BS_AUTORADIOBUTTON:
        if (check_ != BST_CHECKED) {
            check_ = BST_CHECKED;
            Invalidate();
        }
        ClearGroupPeers();
        break;
    default: break;
    }
    NotifyCommand(BN_CLICKED);
}

void ButtonControl::ClearGroupPeers() {
    Window* parent = Parent();
    if (!parent) return;
    const auto& siblings = parent->Children();
    size_t self = 0;
    while (self < siblings.size() && siblings[self].get() != this) ++self;
    if (self == siblings.size()) return;
    size_t first = self;
    while (first > 0 && !(siblings[first]->Style() & WS_GROUP)) --first;
    size_t end = self + 1;
    while (end < siblings.size() && !(siblings[end]->Style() & WS_GROUP)) ++end;
    for (size_t i = first; i < end; ++i) {
        Window* w = siblings[i].get();
        if (w == this || w->GetKind() != Kind::Button) continue;
        auto* peer = static_cast<ButtonControl*>(w);
        if (peer->IsRadio() && peer->check_ != BST_UNCHECKED) {
            peer->check_ = BST_UNCHECKED;
            peer->Invalidate();
        }
    }
}

void ButtonControl::Describe(ControlState& state) const {
    Window::Describe(state);
    state.check = HasCheck() ? static_cast<int>(check_) : -1;
}
