#include "platform/ui/Window.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/ui/ButtonControl.h"
#include "platform/ui/ComboBoxControl.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/DialogWindow.h"
#include "platform/ui/EditControl.h"
#include "platform/ui/IpAddressControl.h"
#include "platform/ui/ItemList.h"
#include "platform/ui/ListBoxControl.h"
#include "platform/ui/ListViewControl.h"
#include "platform/ui/StaticControl.h"
#include "platform/ui/TabControl.h"

namespace {

struct HandleTable {
    std::mutex m;
    std::unordered_map<HWND, Window*> live;
    // Start high and step by four, so a handle never looks like a resource identifier.
    std::atomic<uintptr_t> next{0x10000};
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable;
    return *table;
}

}  // namespace

Window::Window(Kind kind, std::string className, int id, DWORD style, std::string text, RECT rect)
    : kind_(kind),
      className_(std::move(className)),
      id_(id),
      style_(style),
      text_(std::move(text)),
      rect_(rect),
      thread_(std::this_thread::get_id()) {
    HandleTable& t = Handles();
    handle_ = reinterpret_cast<HWND>(t.next.fetch_add(4));
    std::lock_guard<std::mutex> guard(t.m);
    t.live.emplace(handle_, this);
    registered_ = true;
}

Window::~Window() {
    children_.clear();
    Unregister();
}

void Window::Unregister() {
    if (!registered_) return;
    registered_ = false;
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.m);
    t.live.erase(handle_);
}

Window* Window::FromHandle(HWND handle) {
    if (!handle) return nullptr;
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.m);
    auto it = t.live.find(handle);
    return it == t.live.end() ? nullptr : it->second;
}

std::vector<HWND> Window::ThreadWindows() {
    std::vector<HWND> result;
    auto self = std::this_thread::get_id();
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.m);
    for (const auto& [handle, window] : t.live)
        if (window->thread_ == self) result.push_back(handle);
    // Creation order, so that timers due together fire in a fixed order.
    std::sort(result.begin(), result.end());
    return result;
}

void Window::SetStyle(DWORD style) {
    if (style == style_) return;
    style_ = style;
    Invalidate();
}

bool Window::ShownOnScreen() const {
    for (const Window* w = this; w; w = w->parent_)
        if (!w->Visible()) return false;
    return true;
}

bool Window::UsableByUser() const {
    for (const Window* w = this; w; w = w->parent_)
        if (!w->Visible() || !w->Enabled()) return false;
    return true;
}

bool Window::TakesInput() const {
    for (const Window* w = this; w; w = w->parent_)
        if (!w->Enabled()) return false;
    return true;
}

Window* Window::AddChild(std::unique_ptr<Window> child) {
    child->parent_ = this;
    children_.push_back(std::move(child));
    return children_.back().get();
}

std::unique_ptr<Window> Window::RemoveChild(Window* child) {
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->get() == child) {
            std::unique_ptr<Window> owned = std::move(*it);
            children_.erase(it);
            owned->parent_ = nullptr;
            return owned;
        }
    }
    return nullptr;
}

Window* Window::FindChild(int id) const {
    for (const auto& c : children_)
        if (c->id_ == id) return c.get();
    return nullptr;
}

DialogWindow* Window::OwningDialog() {
    for (Window* w = this; w; w = w->parent_)
        if (w->kind_ == Kind::Dialog) return static_cast<DialogWindow*>(w);
    return nullptr;
}

Window* Window::Root() {
    Window* w = this;
    while (w->parent_) w = w->parent_;
    return w;
}

RECT Window::ScreenRect() const {
    RECT r = rect_;
    for (const Window* p = parent_; p; p = p->parent_) {
        r.left += p->rect_.left;
        r.right += p->rect_.left;
        r.top += p->rect_.top;
        r.bottom += p->rect_.top;
    }
    return r;
}

LONG_PTR Window::GetLong(int index, bool* valid) const {
    *valid = true;
    switch (index) {
    case GWLP_USERDATA: return userData_;
    case GWL_STYLE: return static_cast<LONG_PTR>(style_);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(exStyle_);
    case GWLP_ID: return id_;
    default: *valid = false; return 0;
    }
}

LONG_PTR Window::SetLong(int index, LONG_PTR value, bool* valid) {
    *valid = true;
    LONG_PTR previous = GetLong(index, valid);
    if (!*valid) return 0;
    switch (index) {
    case GWLP_USERDATA: userData_ = value; break;
    case GWL_STYLE: SetStyle(static_cast<DWORD>(value)); break;
    case GWL_EXSTYLE: exStyle_ = static_cast<DWORD>(value); break;
    case GWLP_ID: id_ = static_cast<int>(value); break;
    default: break;
    }
    return previous;
}

LRESULT Window::Process(UINT message, WPARAM wParam, LPARAM lParam) { return DefaultProcess(message, wParam, lParam); }

LRESULT Window::DefaultProcess(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETTEXT:
        StoreText(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return TRUE;
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char*>(lParam);
        if (!buffer || wParam == 0) return 0;
        size_t n = std::min(text_.size(), static_cast<size_t>(wParam - 1));
        std::memcpy(buffer, text_.data(), n);
        buffer[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(text_.size());
    case WM_SETICON: {
        HICON& slot = wParam == ICON_SMALL ? smallIcon_ : bigIcon_;
        HICON previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        Invalidate();
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON: return reinterpret_cast<LRESULT>(wParam == ICON_SMALL ? smallIcon_ : bigIcon_);
    case WM_SETFONT: font_ = reinterpret_cast<void*>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(font_);
    default: return 0;
    }
}

void Window::NotifyCommand(WORD code) {
    if (!parent_) return;
    SendMessageA(parent_->Handle(), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id_), code),
                 reinterpret_cast<LPARAM>(handle_));
}

LRESULT Window::NotifyParent(NMHDR& header) {
    header.hwndFrom = handle_;
    header.idFrom = static_cast<UINT_PTR>(id_);
    if (!parent_) return 0;
    return SendMessageA(parent_->Handle(), WM_NOTIFY, static_cast<WPARAM>(id_), reinterpret_cast<LPARAM>(&header));
}

void Window::Describe(ControlState& state) const {
    state.id = id_;
    state.className = className_;
    state.text = text_;
    state.enabled = Enabled();
    state.visible = Visible();
    state.colours = colours_;
}

std::unique_ptr<Window> CreateControl(const std::string& className, int id, DWORD style, std::string text, RECT rect) {
    auto is = [&className](const char* name) { return ItemList::CompareNoCase(className, name) == 0; };
    if (is(WC_BUTTON)) return std::make_unique<ButtonControl>(id, style, std::move(text), rect);
    if (is(WC_EDIT)) return std::make_unique<EditControl>(id, style, std::move(text), rect);
    if (is(WC_STATIC)) return std::make_unique<StaticControl>(WC_STATIC, id, style, std::move(text), rect, true);
    if (is(WC_LISTBOX)) return std::make_unique<ListBoxControl>(id, style, std::move(text), rect);
    if (is(WC_COMBOBOX)) return std::make_unique<ComboBoxControl>(id, style, std::move(text), rect);
    if (is(WC_LISTVIEW)) return std::make_unique<ListViewControl>(id, style, std::move(text), rect);
    if (is(WC_IPADDRESS)) return std::make_unique<IpAddressControl>(id, style, std::move(text), rect);
    if (is(WC_TABCONTROL)) return std::make_unique<TabControl>(id, style, std::move(text), rect);
    return std::make_unique<StaticControl>(className, id, style, std::move(text), rect, false);
}
