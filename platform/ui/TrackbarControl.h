#pragma once
// Sliders: a position within a range, reported through WM_HSCROLL (WM_VSCROLL when vertical).
#include "platform/ui/Window.h"

class TrackbarControl : public Window {
public:
    TrackbarControl(int id, DWORD style, std::string text, RECT rect);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT ColourMessage() const override { return WM_CTLCOLORSTATIC; }
    void Describe(ControlState& state) const override;

    // A person dragging the thumb to pos (kept inside the range).
    void UserMove(int pos);

private:
    int Clamp(int pos) const { return pos < min_ ? min_ : (pos > max_ ? max_ : pos); }

    int pos_ = 0;
    int min_ = 0;
    int max_ = 100;
};
