#include "platform/ui/UserAction.h"

#include "platform/ui/ButtonControl.h"
#include "platform/ui/ComboBoxControl.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/DialogRuntime.h"
#include "platform/ui/EditControl.h"
#include "platform/ui/IpAddressControl.h"
#include "platform/ui/ListBoxControl.h"
#include "platform/ui/ListViewControl.h"
#include "platform/ui/TabControl.h"

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

Window* FindTabs(Window* w) {
    for (const auto& c : w->Children()) {
        if (c->GetKind() == Window::Kind::Tab) return c.get();
        if (Window* found = FindTabs(c.get())) return found;
    }
    return nullptr;
}

bool HasTimer(Window* w, UINT_PTR id, HWND* owner) {
    for (const Window::Timer& t : w->Timers()) {
        if (t.id == id) {
            *owner = w->Handle();
            return true;
        }
    }
    for (const auto& c : w->Children())
        if (HasTimer(c.get(), id, owner)) return true;
    return false;
}

bool IsCheckable(Window* control) {
    return control->GetKind() == Window::Kind::Button && static_cast<ButtonControl*>(control)->HasCheck();
}

}  // namespace

// Depth first: the dialog's own controls, then those of its visible pages.
Window* UserAction::Find(Window* dialog, int id) {
    for (const auto& c : dialog->Children())
        if (c->GetKind() != Window::Kind::Dialog && c->Id() == id) return c.get();
    for (const auto& c : dialog->Children()) {
        if (c->GetKind() == Window::Kind::Dialog && c->Visible()) {
            if (Window* found = Find(c.get(), id)) return found;
        }
    }
    return nullptr;
}

std::string UserAction::Reach(Window* control) {
    if (!control->UsableByUser()) return std::string("the control is ") + (control->ShownOnScreen() ? "disabled" : "hidden");
    DialogRuntime::SetFocus(control->Handle());
    return {};
}

std::string UserAction::Click(Window* control) {
    if (control->GetKind() != Window::Kind::Button) return "not a button";
    SendMessageA(control->Handle(), BM_CLICK, 0, 0);
    return {};
}

std::string UserAction::Check(Window* control, bool checked) {
    if (!IsCheckable(control)) return "not a check box or radio button";
    UINT wanted = checked ? BST_CHECKED : BST_UNCHECKED;
    if (static_cast<ButtonControl*>(control)->Check() != wanted) SendMessageA(control->Handle(), BM_CLICK, 0, 0);
    return {};
}

std::string UserAction::Type(Window* control, const std::string& text) {
    switch (control->GetKind()) {
    case Window::Kind::Edit: {
        auto* edit = static_cast<EditControl*>(control);
        if (edit->ReadOnly()) return "the field is read-only";
        std::string refused = edit->UserType(text);
        return refused.empty() ? std::string() : "the field refused " + Quoted(refused);
    }
    case Window::Kind::ComboBox:
        return static_cast<ComboBoxControl*>(control)->UserType(text) ? "" : "the list has no field to type in";
    case Window::Kind::IpAddress:
        return static_cast<IpAddressControl*>(control)->UserType(text) ? "" : "not an address";
    default: return "nothing to type into";
    }
}

std::string UserAction::Select(Window* control, int index) {
    bool done = false;
    switch (control->GetKind()) {
    case Window::Kind::ListBox: done = static_cast<ListBoxControl*>(control)->UserSelect(index); break;
    case Window::Kind::ComboBox: done = static_cast<ComboBoxControl*>(control)->UserSelect(index); break;
    case Window::Kind::ListView: done = static_cast<ListViewControl*>(control)->UserSelect(index); break;
    case Window::Kind::Tab:
        done = static_cast<TabControl*>(control)->Selection() == index ||
               static_cast<TabControl*>(control)->UserSelect(index);
        break;
    default: return "nothing to select in";
    }
    return done ? "" : "no such entry";
}

std::string UserAction::SelectText(Window* control, const std::string& text) {
    int index = -1;
    if (control->GetKind() == Window::Kind::ListBox)
        index = static_cast<ListBoxControl*>(control)->Items().FindExact(-1, text);
    else if (control->GetKind() == Window::Kind::ComboBox)
        index = static_cast<ComboBoxControl*>(control)->Items().FindExact(-1, text);
    if (index < 0) return "no such entry";
    return Select(control, index);
}

std::string UserAction::DoubleClick(Window* control, int index) {
    bool done = false;
    if (control->GetKind() == Window::Kind::ListBox)
        done = static_cast<ListBoxControl*>(control)->UserDoubleClick(index);
    else if (control->GetKind() == Window::Kind::ListView)
        done = static_cast<ListViewControl*>(control)->UserDoubleClick(index);
    else
        return "not a list";
    return done ? "" : "no such entry";
}

std::string UserAction::TickRow(Window* control, int row) {
    if (control->GetKind() != Window::Kind::ListView) return "not a table";
    return static_cast<ListViewControl*>(control)->UserTick(row) ? "" : "no such row or no check boxes";
}

std::string UserAction::Scroll(Window* control, int position) {
    Window* parent = control->Parent();
    if (!parent) return {};
    HWND self = control->Handle();
    SendMessageA(parent->Handle(), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(position)),
                 reinterpret_cast<LPARAM>(self));
    if (Window* again = Window::FromHandle(self); again && again->Parent())
        SendMessageA(again->Parent()->Handle(), WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(self));
    return {};
}

std::string UserAction::SelectPage(Window* dialog, int index) {
    Window* tabs = FindTabs(dialog);
    if (!tabs) return "the dialog has no pages";
    auto* strip = static_cast<TabControl*>(tabs);
    if (strip->Selection() == index) return {};
    return strip->UserSelect(index) ? "" : "the page could not be selected";
}

std::string UserAction::FireTimer(Window* dialog, UINT_PTR id) {
    HWND owner = nullptr;
    if (!HasTimer(dialog, id, &owner)) return "no such timer is running";
    DialogRuntime::FireTimer(owner, id);
    return {};
}

void UserAction::Close(HWND dialog) { SendMessageA(dialog, WM_CLOSE, 0, 0); }
