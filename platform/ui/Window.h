#pragma once
// A runtime window: a dialog, a page or a control. A window belongs to the thread that
// created it and is used only there, as on the desktop; only handle lookup and
// posting are safe from other threads.
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/WindowState.h"

class DialogWindow;

class Window {
public:
    enum class Kind { Dialog, Button, Edit, Static, ListBox, ComboBox, ListView, IpAddress, Tab, Generic };

    struct Timer {
        UINT_PTR id;
        UINT interval;
        TIMERPROC proc;
        uint64_t due;  // on the runtime's timer clock
    };

    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Handles are never reused, so a stale one finds nothing.
    HWND Handle() const { return handle_; }
    static Window* FromHandle(HWND handle);
    // Live windows created by the calling thread.
    static std::vector<HWND> ThreadWindows();

    Kind GetKind() const { return kind_; }
    const std::string& ClassName() const { return className_; }
    int Id() const { return id_; }
    DWORD Style() const { return style_; }
    void SetStyle(DWORD style);
    DWORD ExStyle() const { return exStyle_; }
    const std::string& Text() const { return text_; }
    bool Enabled() const { return !(style_ & WS_DISABLED); }
    bool Visible() const { return (style_ & WS_VISIBLE) != 0; }
    // This window and every ancestor up to its top-level window.
    bool ShownOnScreen() const;
    bool UsableByUser() const;
    // Takes mouse input: this window and its ancestors are enabled.
    bool TakesInput() const;
    std::thread::id Thread() const { return thread_; }

    Window* Parent() const { return parent_; }
    HWND Owner() const { return owner_; }
    void SetOwner(HWND owner) { owner_ = owner; }
    const std::vector<std::unique_ptr<Window>>& Children() const { return children_; }
    Window* AddChild(std::unique_ptr<Window> child);
    std::unique_ptr<Window> RemoveChild(Window* child);
    Window* FindChild(int id) const;
    // The nearest dialog at or above this window.
    DialogWindow* OwningDialog();
    Window* Root();

    // Position in the parent's client area (top-level windows: on the screen), in pixels.
    const RECT& Rect() const { return rect_; }
    void SetRect(const RECT& rect) { rect_ = rect; }
    RECT ScreenRect() const;

    virtual LONG_PTR GetLong(int index, bool* valid) const;
    virtual LONG_PTR SetLong(int index, LONG_PTR value, bool* valid);

    // Messages: what the window's class (and, for dialogs, its procedure) does.
    virtual LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND to the parent with this control's identifier and the code.
    void NotifyCommand(WORD code);
    // WM_NOTIFY to the parent; fills in the sender and its identifier.
    LRESULT NotifyParent(NMHDR& header);

    // Painting: a control asks its dialog for its colours through this message
    // (0: the control paints with its own colours and asks nobody).
    virtual UINT ColourMessage() const { return 0; }
    void Invalidate() { invalid_ = true; }
    bool Invalid() const { return invalid_; }
    void SetPainted(const PaintedColours& colours) {
        colours_ = colours;
        invalid_ = false;
    }
    void MarkPainted() { invalid_ = false; }
    const std::optional<PaintedColours>& Painted() const { return colours_; }

    std::vector<Timer>& Timers() { return timers_; }
    HICON Icon(bool small) const { return small ? smallIcon_ : bigIcon_; }

    // For presenters' records.
    virtual void Describe(ControlState& state) const;

    // Done once by DestroyWindow: the handle stops resolving.
    void Unregister();

protected:
    Window(Kind kind, std::string className, int id, DWORD style, std::string text, RECT rect);
    // The messages every window understands.
    LRESULT DefaultProcess(UINT message, WPARAM wParam, LPARAM lParam);
    void StoreText(std::string text) {
        text_ = std::move(text);
        Invalidate();
    }

private:
    HWND handle_;
    Kind kind_;
    std::string className_;
    int id_;
    DWORD style_;
    DWORD exStyle_ = 0;
    std::string text_;
    RECT rect_;
    Window* parent_ = nullptr;
    HWND owner_ = nullptr;
    std::vector<std::unique_ptr<Window>> children_;
    LONG_PTR userData_ = 0;
    HICON smallIcon_ = nullptr;
    HICON bigIcon_ = nullptr;
    void* font_ = nullptr;
    bool invalid_ = true;
    std::optional<PaintedColours> colours_;
    std::vector<Timer> timers_;
    std::thread::id thread_;
    bool registered_ = false;
};

// Creates the control for a class name (compared without regard to case); unknown
// classes give a plain window.
std::unique_ptr<Window> CreateControl(const std::string& className, int id, DWORD style, std::string text, RECT rect);
