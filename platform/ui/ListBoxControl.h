#pragma once
// List boxes: single selection; sorted when created with LBS_SORT.
#include "platform/ui/ItemList.h"
#include "platform/ui/Window.h"

class ListBoxControl : public Window {
public:
    ListBoxControl(int id, DWORD style, std::string text, RECT rect);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT ColourMessage() const override { return WM_CTLCOLORLISTBOX; }
    void Describe(ControlState& state) const override;

    const ItemList& Items() const { return items_; }
    int Selection() const { return selection_; }
    // A person clicking an entry, or double-clicking it; false for an index with no entry.
    bool UserSelect(int index);
    bool UserDoubleClick(int index);

private:
    bool Notifies() const { return (Style() & LBS_NOTIFY) != 0; }

    ItemList items_;
    int selection_ = -1;
};
