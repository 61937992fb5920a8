#include "platform/ui/TrackbarControl.h"

#include "platform/ui/DialogApi.h"

TrackbarControl::TrackbarControl(int id, DWORD style, std::string text, RECT rect)
    : Window(Kind::Trackbar, TRACKBAR_CLASS, id, style, std::move(text), rect) {}

LRESULT TrackbarControl::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case TBM_GETPOS: return pos_;
    case TBM_GETRANGEMIN: return min_;
    case TBM_GETRANGEMAX: return max_;
    case TBM_SETPOS:
        pos_ = Clamp(static_cast<int>(lParam));
        Invalidate();
        return 0;
    case TBM_SETRANGE:
        min_ = static_cast<short>(LOWORD(static_cast<uintptr_t>(lParam)));
        max_ = static_cast<short>(HIWORD(static_cast<uintptr_t>(lParam)));
        pos_ = Clamp(pos_);
        return 0;
    case TBM_SETRANGEMIN:
        min_ = static_cast<int>(lParam);
        pos_ = Clamp(pos_);
        return 0;
    case TBM_SETRANGEMAX:
        max_ = static_cast<int>(lParam);
        pos_ = Clamp(pos_);
        return 0;
    default: return DefaultProcess(message, wParam, lParam);
    }
}

void TrackbarControl::UserMove(int pos) {
    pos_ = Clamp(pos);
    Invalidate();
    if (!Parent()) return;
    UINT message = (Style() & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    HWND parent = Parent()->Handle();
    HWND self = Handle();
    SendMessageA(parent, message, MAKEWPARAM(TB_THUMBPOSITION, static_cast<WORD>(pos_)), reinterpret_cast<LPARAM>(self));
    SendMessageA(parent, message, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(self));
}

void TrackbarControl::Describe(ControlState& state) const {
    Window::Describe(state);
    state.selection = pos_;
}
