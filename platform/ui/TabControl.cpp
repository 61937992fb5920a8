#include "platform/ui/TabControl.h"

TabControl::TabControl(int id, DWORD style, std::string text, RECT rect)
    : Window(Kind::Tab, WC_TABCONTROL, id, style, std::move(text), rect) {}

LRESULT TabControl::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    auto index = static_cast<int>(static_cast<intptr_t>(wParam));
    switch (message) {
    case TCM_GETITEMCOUNT: return items_.Count();
    case TCM_INSERTITEMA: {
        auto* item = reinterpret_cast<const TCITEMA*>(lParam);
        if (!item) return -1;
        int at = items_.Insert(index > items_.Count() ? -1 : index,
                               (item->mask & TCIF_TEXT) && item->pszText ? item->pszText : "");
        if (at >= 0) items_.At(at).data = item->lParam;
        if (selection_ < 0 && at >= 0) selection_ = 0;
        Invalidate();
        return at;
    }
    case TCM_DELETEALLITEMS:
        items_.Clear();
        selection_ = -1;
        return TRUE;
    case TCM_GETCURSEL: return selection_;
    case TCM_SETCURSEL: {
        if (!items_.Valid(index)) return -1;
        int previous = selection_;
        selection_ = index;
        Invalidate();
        return previous;
    }
    default: return DefaultProcess(message, wParam, lParam);
    }
}

bool TabControl::UserSelect(int index) {
    if (!items_.Valid(index) || index == selection_) return false;
    NMHDR changing{};
    changing.code = TCN_SELCHANGING;
    if (NotifyParent(changing)) return false;
    selection_ = index;
    Invalidate();
    NMHDR changed{};
    changed.code = TCN_SELCHANGE;
    NotifyParent(changed);
    return true;
}

void TabControl::Describe(ControlState& state) const {
    Window::Describe(state);
    state.items = items_.Texts();
    state.selection = selection_;
}
