#pragma once
// Tab strips: the page titles of a property sheet or frame.
#include "platform/ui/ItemList.h"
#include "platform/ui/Window.h"

class TabControl : public Window {
public:
    TabControl(int id, DWORD style, std::string text, RECT rect);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Describe(ControlState& state) const override;

    int Selection() const { return selection_; }
    // A person clicking a tab: asks the parent first (TCN_SELCHANGING, non-zero keeps
    // the current tab), then reports the change. False when nothing changed.
    bool UserSelect(int index);

private:
    ItemList items_;
    int selection_ = -1;
};
