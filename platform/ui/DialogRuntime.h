#pragma once
// The machinery behind the dialog calls: building dialogs from templates, sending
// messages, the modal loop that hands a dialog to the presenter, destruction,
// posted messages, painting, focus and timers. Presenters use it to drive dialogs.
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/DialogTemplate.h"
#include "platform/ui/DialogWindow.h"

class Presenter;

class DialogRuntime {
public:
    // Delivers a message; windows destroyed meanwhile are freed only once no message
    // is being handled on this thread any more.
    static LRESULT Send(Window* window, UINT message, WPARAM wParam, LPARAM lParam);

    // Builds the dialog and its controls without sending anything. Unless modal, a
    // template with WS_CHILD or DS_CONTROL becomes a child of parent; otherwise parent
    // is the owner.
    static DialogWindow* Build(const DialogTemplate& dialog, const std::string& name, HWND parent, DLGPROC proc,
                               bool modal);
    // Takes a top-level window into the calling thread's keeping.
    static Window* AdoptTopLevel(std::unique_ptr<Window> window);
    // WM_INITDIALOG, and the focus on the first tab stop when the dialog asks for it.
    static void Initialise(DialogWindow* dialog, LPARAM param);
    // Disables the owner, lets the presenter run the dialog until it has ended, then
    // destroys it. init runs first (it may end the dialog, which then is never shown).
    static INT_PTR RunModalLoop(Presenter* presenter, DialogWindow* dialog, HWND owner,
                                const std::function<void()>& init);
    static void Destroy(Window* window);

    // For presenters.
    static bool Ended(HWND dialog);
    static void ForceEnd(HWND dialog, INT_PTR result);
    // Posted messages for this thread, then painting of what became invalid.
    static void Pump();
    static void Paint(Window* window);
    // The topmost modal dialog of this thread, or null.
    static HWND ActiveModal();

    static bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static HWND SetFocus(HWND window);
    static HWND Focus();

    // The timer clock, in milliseconds; it moves only when a presenter lets time pass.
    static uint64_t Clock();
    // Fires, in order, every timer of this thread that falls due within ms, then
    // leaves the clock ms later.
    static void LetTimePass(DWORD ms);
    // Fires one timer now; false when the window has no such timer.
    static bool FireTimer(HWND window, UINT_PTR id);
    static UINT_PTR StartTimer(Window* window, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
};
