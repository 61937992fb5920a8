#pragma once
// Combo boxes: a drop-down list (CBS_DROPDOWNLIST) or a list with an edit field.
#include "platform/ui/ItemList.h"
#include "platform/ui/Window.h"

class ComboBoxControl : public Window {
public:
    ComboBoxControl(int id, DWORD style, std::string text, RECT rect);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT ColourMessage() const override { return HasEdit() ? WM_CTLCOLOREDIT : WM_CTLCOLORLISTBOX; }
    void Describe(ControlState& state) const override;

    bool HasEdit() const { return (Style() & 0x3) != CBS_DROPDOWNLIST; }
    const ItemList& Items() const { return items_; }
    int Selection() const { return selection_; }
    bool UserSelect(int index);
    // Typing into the edit field; false when the combo box has none.
    bool UserType(const std::string& text);

private:
    void Select(int index);

    ItemList items_;
    int selection_ = -1;
    size_t limit_ = 30000;
};
