#include "platform/ui/ComboBoxControl.h"

#include <algorithm>
#include <cstring>

ComboBoxControl::ComboBoxControl(int id, DWORD style, std::string text, RECT rect)
    : Window(Kind::ComboBox, WC_COMBOBOX, id, style, std::move(text), rect), items_((style & CBS_SORT) != 0) {
    if (!HasEdit()) StoreText("");
}

void ComboBoxControl::Select(int index) {
    selection_ = index;
    // The field shows the chosen entry.
    StoreText(items_.Valid(index) ? items_.At(index).text : std::string());
}

LRESULT ComboBoxControl::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    auto index = static_cast<int>(static_cast<intptr_t>(wParam));
    auto text = [lParam] { return std::string(lParam ? reinterpret_cast<const char*>(lParam) : ""); };
    switch (message) {
    case CB_ADDSTRING: {
        int at = items_.Add(text());
        if (selection_ >= at) ++selection_;
        Invalidate();
        return at;
    }
    case CB_INSERTSTRING: {
        int at = items_.Insert(index, text());
        if (at < 0) return CB_ERR;
        if (selection_ >= at) ++selection_;
        Invalidate();
        return at;
    }
    case CB_DELETESTRING:
        if (!items_.Remove(index)) return CB_ERR;
        if (selection_ == index)
            Select(-1);
        else if (selection_ > index)
            --selection_;
        return items_.Count();
    case CB_RESETCONTENT:
        items_.Clear();
        selection_ = -1;
        if (!HasEdit()) StoreText("");
        Invalidate();
        return 0;
    case CB_GETCOUNT: return items_.Count();
    case CB_GETCURSEL: return selection_;
    case CB_SETCURSEL:
        if (!items_.Valid(index)) {
            if (index == -1) Select(-1);
            return CB_ERR;
        }
        Select(index);
        return index;
    case CB_GETLBTEXT: return items_.CopyText(index, reinterpret_cast<char*>(lParam));
    case CB_GETLBTEXTLEN: return items_.CopyText(index, nullptr);
    case CB_GETITEMDATA: return items_.Valid(index) ? items_.At(index).data : CB_ERR;
    case CB_SETITEMDATA:
        if (!items_.Valid(index)) return CB_ERR;
        items_.At(index).data = lParam;
        return TRUE;
    case CB_FINDSTRINGEXACT: return items_.FindExact(index, text());
    case CB_FINDSTRING: return items_.FindPrefix(index, text());
    case CB_SELECTSTRING: {
        int found = items_.FindPrefix(index, text());
        if (found < 0) return CB_ERR;
        Select(found);
        return found;
    }
    case CB_LIMITTEXT:
        limit_ = wParam == 0 ? 0x7FFFFFFE : static_cast<size_t>(wParam);
        return TRUE;
    case WM_SETTEXT:
        if (!HasEdit()) {
            // A drop-down list can only show one of its entries.
            int found = items_.FindExact(-1, text());
            if (found < 0) return CB_ERR;
            Select(found);
            return TRUE;
        }
        StoreText(text());
        return TRUE;
    default: return DefaultProcess(message, wParam, lParam);
    }
}

bool ComboBoxControl::UserSelect(int index) {
    if (!items_.Valid(index)) return false;
    bool changed = selection_ != index;
    Select(index);
    if (changed) NotifyCommand(CBN_SELCHANGE);
    return true;
}

bool ComboBoxControl::UserType(const std::string& text) {
    if (!HasEdit()) return false;
    StoreText(text.substr(0, std::min(text.size(), limit_)));
    selection_ = items_.FindExact(-1, Text());
    NotifyCommand(CBN_EDITUPDATE);
    NotifyCommand(CBN_EDITCHANGE);
    return true;
}

void ComboBoxControl::Describe(ControlState& state) const {
    Window::Describe(state);
    state.items = items_.Texts();
    state.selection = selection_;
}
