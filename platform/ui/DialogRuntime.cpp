#include "platform/ui/DialogRuntime.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <set>

#include "platform/system/ErrorText.h"
#include "platform/system/Tick.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/Presenter.h"

namespace {

// Timers never fire faster than this, as on the desktop.
constexpr UINT kMinimumTimerMs = 10;

struct ThreadState {
    int depth = 0;
    std::vector<std::unique_ptr<Window>> topLevel;
    std::vector<std::unique_ptr<Window>> graveyard;
    std::set<HWND> beingDestroyed;
    std::vector<HWND> modal;
    HWND focus = nullptr;

    ~ThreadState() {
        // Windows left at thread exit go without messages: nobody is there to answer.
        graveyard.clear();
        topLevel.clear();
    }
};

thread_local ThreadState t_state;

struct PostedMessage {
    HWND window;
    std::thread::id thread;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct PostQueue {
    std::mutex m;
    std::deque<PostedMessage> messages;
};

PostQueue& Posted() {
    static PostQueue* queue = new PostQueue;
    return *queue;
}

std::atomic<uint64_t> g_clock{0};

void FlushIfIdle() {
    if (t_state.depth == 0) t_state.graveyard.clear();
}

RECT DialogUnitsToPixels(short x, short y, short cx, short cy) {
    auto px = [](int du) { return du * kDialogCharWidth / 4; };
    auto py = [](int du) { return du * kDialogCharHeight / 8; };
    return RECT{px(x), py(y), px(x) + px(cx), py(y) + py(cy)};
}

void CollectSubtree(Window* w, std::vector<Window*>& out) {
    out.push_back(w);
    for (const auto& c : w->Children()) CollectSubtree(c.get(), out);
}

void SendDestroy(HWND handle) {
    Window* w = Window::FromHandle(handle);
    if (!w) return;
    std::vector<HWND> children;
    for (const auto& c : w->Children()) children.push_back(c->Handle());
    DialogRuntime::Send(w, WM_DESTROY, 0, 0);
    for (HWND c : children) SendDestroy(c);
}

}  // namespace

LRESULT DialogRuntime::Send(Window* window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++t_state.depth;
    LRESULT r = window->Process(message, wParam, lParam);
    --t_state.depth;
    FlushIfIdle();
    return r;
}

DialogWindow* DialogRuntime::Build(const DialogTemplate& dialog, const std::string& name, HWND parent, DLGPROC proc,
                                   bool modal) {
    Window* parentWindow = Window::FromHandle(parent);
    bool child = !modal && parentWindow && (dialog.style & (WS_CHILD | DS_CONTROL));
    RECT rect = DialogUnitsToPixels(dialog.x, dialog.y, dialog.cx, dialog.cy);
    DWORD style = dialog.style & ~WS_VISIBLE;
    if (child) {
        style |= WS_CHILD;
    } else {
        int width = rect.right - rect.left;
        int height = rect.bottom - rect.top;
        if (dialog.style & DS_CENTER) {
            rect.left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
            rect.top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
        } else if (parentWindow) {
            // Placed relative to the owner, as the desktop places owned dialogs.
            RECT owner = parentWindow->ScreenRect();
            rect.left += owner.left;
            rect.top += owner.top;
        }
        rect.right = rect.left + width;
        rect.bottom = rect.top + height;
    }
    auto built = std::make_unique<DialogWindow>(name, dialog.caption, style, rect, proc);
    for (const ControlTemplate& c : dialog.controls) {
        DWORD controlStyle = c.style | WS_CHILD | (c.hidden ? 0 : WS_VISIBLE);
        built->AddChild(CreateControl(c.className, c.id, controlStyle, c.text, DialogUnitsToPixels(c.x, c.y, c.cx, c.cy)));
    }
    DialogWindow* result = built.get();
    if (child) {
        parentWindow->AddChild(std::move(built));
    } else {
        built->SetOwner(parent);
        AdoptTopLevel(std::move(built));
    }
    return result;
}

Window* DialogRuntime::AdoptTopLevel(std::unique_ptr<Window> window) {
    t_state.topLevel.push_back(std::move(window));
    return t_state.topLevel.back().get();
}

void DialogRuntime::Initialise(DialogWindow* dialog, LPARAM param) {
    HWND handle = dialog->Handle();
    HWND first = nullptr;
    for (const auto& c : dialog->Children()) {
        if ((c->Style() & WS_TABSTOP) && c->Visible() && c->Enabled()) {
            first = c->Handle();
            break;
        }
    }
    LRESULT wantsFocus = Send(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (wantsFocus && first && Window::FromHandle(handle)) SetFocus(first);
}

INT_PTR DialogRuntime::RunModalLoop(Presenter* presenter, DialogWindow* dialog, HWND owner,
                                    const std::function<void()>& init) {
    HWND handle = dialog->Handle();
    std::string name = dialog->Name();
    dialog->SetInModalLoop(true);
    t_state.modal.push_back(handle);
    ++t_state.depth;

    init();

    // The owner's top-level window takes no input while the dialog runs.
    Window* ownerWindow = Window::FromHandle(owner);
    HWND ownerRoot = ownerWindow ? ownerWindow->Root()->Handle() : nullptr;
    bool reenable = ownerRoot && IsWindowEnabled(ownerRoot);
    if (reenable) EnableWindow(ownerRoot, FALSE);

    if (!dialog->Ended()) {
        dialog->SetStyle(dialog->Style() | WS_VISIBLE);
        Pump();
        presenter->RunModal(handle, name);
    }
    // A presenter that returns early leaves a dialog nobody can end any more.
    if (!dialog->Ended()) dialog->End(0);
    INT_PTR result = dialog->Result();

    if (reenable && IsWindow(ownerRoot)) EnableWindow(ownerRoot, TRUE);
    t_state.modal.erase(std::remove(t_state.modal.begin(), t_state.modal.end(), handle), t_state.modal.end());
    dialog->SetInModalLoop(false);
    Destroy(dialog);
    --t_state.depth;
    FlushIfIdle();
    return result;
}

void DialogRuntime::Destroy(Window* window) {
    HWND handle = window->Handle();
    if (t_state.beingDestroyed.count(handle)) return;
    if (window->GetKind() == Window::Kind::Dialog) {
        auto* dialog = static_cast<DialogWindow*>(window);
        // A running modal dialog goes when its loop ends.
        if (dialog->InModalLoop()) {
            if (!dialog->Ended()) dialog->End(0);
            return;
        }
    }
    t_state.beingDestroyed.insert(handle);
    ++t_state.depth;
    SendDestroy(handle);
    window = Window::FromHandle(handle);
    if (window) {
        std::vector<Window*> subtree;
        CollectSubtree(window, subtree);
        for (Window* w : subtree) {
            w->Timers().clear();
            if (t_state.focus == w->Handle()) t_state.focus = nullptr;
            w->Unregister();
        }
        std::unique_ptr<Window> owned;
        if (Window* parent = window->Parent()) {
            owned = parent->RemoveChild(window);
        } else {
            auto& top = t_state.topLevel;
            for (auto it = top.begin(); it != top.end(); ++it) {
                if (it->get() == window) {
                    owned = std::move(*it);
                    top.erase(it);
                    break;
                }
            }
        }
        if (owned) t_state.graveyard.push_back(std::move(owned));
    }
    --t_state.depth;
    t_state.beingDestroyed.erase(handle);
    FlushIfIdle();
}

bool DialogRuntime::Ended(HWND dialog) {
    Window* w = Window::FromHandle(dialog);
    if (!w || w->GetKind() != Window::Kind::Dialog) return true;
    return static_cast<DialogWindow*>(w)->Ended();
}

void DialogRuntime::ForceEnd(HWND dialog, INT_PTR result) {
    Window* w = Window::FromHandle(dialog);
    if (w && w->GetKind() == Window::Kind::Dialog) static_cast<DialogWindow*>(w)->End(result);
}

void DialogRuntime::Pump() {
    auto self = std::this_thread::get_id();
    PostQueue& q = Posted();
    // Only what was waiting when the pump started: a handler that posts again is
    // served on the next round rather than keeping this one going for ever.
    size_t waiting;
    {
        std::lock_guard<std::mutex> guard(q.m);
        waiting = static_cast<size_t>(
            std::count_if(q.messages.begin(), q.messages.end(), [self](const PostedMessage& p) { return p.thread == self; }));
    }
    for (size_t i = 0; i < waiting; ++i) {
        PostedMessage next{};
        {
            std::lock_guard<std::mutex> guard(q.m);
            auto it = std::find_if(q.messages.begin(), q.messages.end(),
                                   [self](const PostedMessage& p) { return p.thread == self; });
            if (it == q.messages.end()) break;
            next = *it;
            q.messages.erase(it);
        }
        if (Window* w = Window::FromHandle(next.window)) Send(w, next.message, next.wParam, next.lParam);
    }
    for (HWND h : Window::ThreadWindows()) {
        Window* w = Window::FromHandle(h);
        if (w && w->Invalid() && w->ShownOnScreen()) Paint(w);
    }
}

void DialogRuntime::Paint(Window* window) {
    UINT message = window->ColourMessage();
    Window* target = message == WM_CTLCOLORDLG ? window : window->Parent();
    if (!message || !target) {
        window->MarkPainted();
        return;
    }
    HWND handle = window->Handle();
    HDC dc = CreatePaintContext(handle);
    LRESULT answer = Send(target, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(handle));
    DeviceContextState state;
    ReadContext(dc, &state);
    ReleaseDC(handle, dc);
    window = Window::FromHandle(handle);
    if (!window) return;

    bool fieldLike = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
    COLORREF systemBackground = GetSysColor(fieldLike ? COLOR_WINDOW : COLOR_BTNFACE);
    PaintedColours painted;
    if (answer) {
        painted.custom = true;
        painted.text = state.text;
        painted.textBackground = state.background;
        painted.backgroundMode = state.backgroundMode;
        COLORREF colour = 0;
        bool hollow = false;
        painted.brushValid = DescribeBrush(reinterpret_cast<HBRUSH>(answer), &colour, &hollow);
        // A hollow brush lets the dialog's face show through.
        painted.background = painted.brushValid && !hollow ? colour : GetSysColor(COLOR_BTNFACE);
    } else {
        painted.text = GetSysColor(window->Enabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
        painted.background = systemBackground;
        painted.textBackground = systemBackground;
    }
    window->SetPainted(painted);
}

HWND DialogRuntime::ActiveModal() {
    while (!t_state.modal.empty() && !IsWindow(t_state.modal.back())) t_state.modal.pop_back();
    return t_state.modal.empty() ? nullptr : t_state.modal.back();
}

bool DialogRuntime::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Window::FromHandle(window);
    if (!w) return false;
    PostQueue& q = Posted();
    std::lock_guard<std::mutex> guard(q.m);
    q.messages.push_back(PostedMessage{window, w->Thread(), message, wParam, lParam});
    return true;
}

HWND DialogRuntime::SetFocus(HWND window) {
    Window* target = Window::FromHandle(window);
    if (window && !target) return nullptr;
    HWND previous = t_state.focus;
    if (previous == window) return previous;
    t_state.focus = window;
    if (Window* old = Window::FromHandle(previous); old && old->GetKind() == Window::Kind::Edit)
        old->NotifyCommand(EN_KILLFOCUS);
    if (Window* now = Window::FromHandle(window); now && now->GetKind() == Window::Kind::Edit)
        now->NotifyCommand(EN_SETFOCUS);
    return IsWindow(previous) ? previous : nullptr;
}

HWND DialogRuntime::Focus() { return IsWindow(t_state.focus) ? t_state.focus : nullptr; }

uint64_t DialogRuntime::Clock() { return g_clock.load(std::memory_order_relaxed); }

UINT_PTR DialogRuntime::StartTimer(Window* window, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    UINT interval = std::max(elapseMs, kMinimumTimerMs);
    auto& timers = window->Timers();
    for (Window::Timer& timer : timers) {
        if (timer.id == id) {
            timer = Window::Timer{id, interval, proc, Clock() + interval};
            return id ? id : 1;
        }
    }
    timers.push_back(Window::Timer{id, interval, proc, Clock() + interval});
    return id ? id : 1;
}

bool DialogRuntime::FireTimer(HWND window, UINT_PTR id) {
    Window* w = Window::FromHandle(window);
    if (!w) return false;
    for (const Window::Timer& timer : w->Timers()) {
        if (timer.id != id) continue;
        if (timer.proc) {
            TIMERPROC proc = timer.proc;
            ++t_state.depth;
            proc(window, WM_TIMER, id, GetTickCount());
            --t_state.depth;
            FlushIfIdle();
        } else {
            Send(w, WM_TIMER, id, 0);
        }
        return true;
    }
    return false;
}

void DialogRuntime::LetTimePass(DWORD ms) {
    uint64_t target = Clock() + ms;
    for (;;) {
        HWND dueWindow = nullptr;
        UINT_PTR dueId = 0;
        uint64_t dueAt = target + 1;
        for (HWND h : Window::ThreadWindows()) {
            Window* w = Window::FromHandle(h);
            if (!w) continue;
            for (const Window::Timer& timer : w->Timers()) {
                if (timer.due < dueAt) {
                    dueAt = timer.due;
                    dueWindow = h;
                    dueId = timer.id;
                }
            }
        }
        if (!dueWindow) break;
        g_clock.store(std::max(Clock(), dueAt), std::memory_order_relaxed);
        if (Window* w = Window::FromHandle(dueWindow)) {
            for (Window::Timer& timer : w->Timers())
                if (timer.id == dueId) timer.due = dueAt + timer.interval;
        }
        FireTimer(dueWindow, dueId);
        Pump();
    }
    g_clock.store(target, std::memory_order_relaxed);
}
