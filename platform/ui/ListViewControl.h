#pragma once
// Report-style tables (list views) with optional check boxes. As on the desktop, every
// change of an item's state is reported with LVN_ITEMCHANGED, including the unticked
// check box an item gets when it is inserted into a table with check boxes.
#include <vector>

#include "platform/ui/Window.h"

class ListViewControl : public Window {
public:
    ListViewControl(int id, DWORD style, std::string text, RECT rect);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Describe(ControlState& state) const override;

    int RowCount() const { return static_cast<int>(rows_.size()); }
    bool HasCheckBoxes() const { return (extendedStyle_ & LVS_EX_CHECKBOXES) != 0; }
    // A person clicking a row (selects it alone), double-clicking (-1: where no row is),
    // or clicking a row's check box. False for a row that does not exist.
    bool UserSelect(int row);
    bool UserDoubleClick(int row);
    bool UserTick(int row);

private:
    struct Column {
        std::string text;
        int width;
    };
    struct Row {
        std::vector<std::string> cells;
        UINT state = 0;
        LPARAM param = 0;
        int image = 0;
    };

    bool ValidRow(int row) const { return row >= 0 && row < RowCount(); }
    std::string& Cell(Row& row, int column);
    // Applies state bits under mask and reports the change when there is one.
    void ChangeState(int row, UINT state, UINT mask);
    void SendItemNotification(UINT code, int row, UINT oldState, UINT newState, UINT changed);
    LRESULT InsertItem(const LVITEMA* item);
    LRESULT SetItem(const LVITEMA* item);
    LRESULT GetItem(LVITEMA* item) const;
    LRESULT GetItemText(int row, LVITEMA* item) const;
    int AutoWidth(int column, bool withHeader) const;
    void Select(int row);

    std::vector<Column> columns_;
    std::vector<Row> rows_;
    DWORD extendedStyle_ = 0;
    int selectionMark_ = -1;
};
