#include "platform/ui/ListBoxControl.h"

ListBoxControl::ListBoxControl(int id, DWORD style, std::string text, RECT rect)
    : Window(Kind::ListBox, WC_LISTBOX, id, style, std::move(text), rect), items_((style & LBS_SORT) != 0) {}

LRESULT ListBoxControl::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    auto index = static_cast<int>(static_cast<intptr_t>(wParam));
    auto text = [lParam] { return std::string(lParam ? reinterpret_cast<const char*>(lParam) : ""); };
    switch (message) {
    case LB_ADDSTRING: {
        int at = items_.Add(text());
        if (selection_ >= at) ++selection_;
        Invalidate();
        return at;
    }
    case LB_INSERTSTRING: {
        int at = items_.Insert(index, text());
        if (at < 0) return LB_ERR;
        if (selection_ >= at) ++selection_;
        Invalidate();
        return at;
    }
    case LB_DELETESTRING:
        if (!items_.Remove(index)) return LB_ERR;
        if (selection_ == index)
            selection_ = -1;
        else if (selection_ > index)
            --selection_;
        Invalidate();
        return items_.Count();
    case LB_RESETCONTENT:
        items_.Clear();
        selection_ = -1;
        Invalidate();
        return 0;
    case LB_GETCOUNT: return items_.Count();
    case LB_GETCURSEL: return selection_;
    case LB_SETCURSEL:
        // -1 clears the selection and still answers LB_ERR, as on the desktop.
        if (!items_.Valid(index)) {
            if (index == -1) selection_ = -1;
            Invalidate();
            return LB_ERR;
        }
        selection_ = index;
        Invalidate();
        return index;
    case LB_GETTEXT: return items_.CopyText(index, reinterpret_cast<char*>(lParam));
    case LB_GETTEXTLEN: return items_.CopyText(index, nullptr);
    case LB_GETITEMDATA: return items_.Valid(index) ? items_.At(index).data : LB_ERR;
    case LB_SETITEMDATA:
        if (!items_.Valid(index)) return LB_ERR;
        items_.At(index).data = lParam;
        return TRUE;
    case LB_FINDSTRINGEXACT: return items_.FindExact(index, text());
    case LB_FINDSTRING: return items_.FindPrefix(index, text());
    case LB_SELECTSTRING: {
        int found = items_.FindPrefix(index, text());
        if (found < 0) return LB_ERR;
        selection_ = found;
        Invalidate();
        return found;
    }
    default: return DefaultProcess(message, wParam, lParam);
    }
}

bool ListBoxControl::UserSelect(int index) {
    if (!items_.Valid(index)) return false;
    bool changed = selection_ != index;
    selection_ = index;
    Invalidate();
    if (changed && Notifies()) NotifyCommand(LBN_SELCHANGE);
    return true;
}

bool ListBoxControl::UserDoubleClick(int index) {
    if (!UserSelect(index)) return false;
    if (Notifies()) NotifyCommand(LBN_DBLCLK);
    return true;
}

void ListBoxControl::Describe(ControlState& state) const {
    Window::Describe(state);
    state.items = items_.Texts();
    state.selection = selection_;
}
