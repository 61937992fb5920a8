#pragma once
// Static texts and pictures; also stands in for window classes this runtime does not know.
#include "platform/ui/Window.h"

class StaticControl : public Window {
public:
    StaticControl(std::string className, int id, DWORD style, std::string text, RECT rect, bool known);

    UINT ColourMessage() const override { return known_ ? WM_CTLCOLORSTATIC : 0; }

private:
    bool known_;
};
