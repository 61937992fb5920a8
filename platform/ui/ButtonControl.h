#pragma once
// Push buttons, check boxes, radio buttons and group boxes.
#include "platform/ui/Window.h"

class ButtonControl : public Window {
public:
    ButtonControl(int id, DWORD style, std::string text, RECT rect);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT ColourMessage() const override;
    void Describe(ControlState& state) const override;

    DWORD Type() const { return Style() & BS_TYPEMASK; }
    bool IsRadio() const { return Type() == BS_RADIOBUTTON || Type() == BS_AUTORADIOBUTTON; }
    bool HasCheck() const;
    UINT Check() const { return check_; }

private:
    void Click();
    // Clears the other radio buttons of this button's group (WS_GROUP starts a group).
    void ClearGroupPeers();

    UINT check_ = BST_UNCHECKED;
};
