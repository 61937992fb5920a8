#pragma once
// What a person's action does to a dialog: the messages and notifications the
// control sends, exactly as the desktop would. Every presenter goes through here, so
// a scripted step and a real click reach a dialog the same way. Each call returns
// why the action could not be taken, or an empty text when it was.
#include <string>

#include "platform/ui/Window.h"

class UserAction {
public:
    // The control with this identifier in the dialog, then in its visible pages; null
    // when there is none.
    static Window* Find(Window* dialog, int id);
    // Why a person could not use the control (disabled or hidden), or empty. When it can
    // be used it takes the focus, as a click would give it.
    static std::string Reach(Window* control);

    static std::string Click(Window* control);
    // Clicks a check box or radio button when it is not yet in that state.
    static std::string Check(Window* control, bool checked);
    static std::string Type(Window* control, const std::string& text);
    // List box, combo box, table row or tab.
    static std::string Select(Window* control, int index);
    static std::string SelectText(Window* control, const std::string& text);
    // -1 in a table: a double click where no row is.
    static std::string DoubleClick(Window* control, int index);
    static std::string TickRow(Window* control, int row);
    static std::string Scroll(Window* control, int position);
    // The tab strip of a property sheet or frame.
    static std::string SelectPage(Window* dialog, int index);
    static std::string FireTimer(Window* dialog, UINT_PTR id);
    // The title bar's close button.
    static void Close(HWND dialog);
};
