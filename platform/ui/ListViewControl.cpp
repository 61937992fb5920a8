#include "platform/ui/ListViewControl.h"

#include <algorithm>
#include <cstring>

#include "platform/ui/GdiObjects.h"
#include "platform/ui/ItemList.h"

namespace {
constexpr int kCellMargin = 12;  // pixels around a cell's text, as autosizing leaves them
constexpr UINT kUnticked = INDEXTOSTATEIMAGEMASK(1);
constexpr UINT kTicked = INDEXTOSTATEIMAGEMASK(2);
}  // namespace

ListViewControl::ListViewControl(int id, DWORD style, std::string text, RECT rect)
    : Window(Kind::ListView, WC_LISTVIEW, id, style, std::move(text), rect) {}

std::string& ListViewControl::Cell(Row& row, int column) {
    if (row.cells.size() <= static_cast<size_t>(column)) row.cells.resize(static_cast<size_t>(column) + 1);
    return row.cells[static_cast<size_t>(column)];
}

void ListViewControl::SendItemNotification(UINT code, int row, UINT oldState, UINT newState, UINT changed) {
    NMLISTVIEW nm{};
    nm.hdr.code = code;
    nm.iItem = row;
    nm.iSubItem = 0;
    nm.uOldState = oldState;
    nm.uNewState = newState;
    nm.uChanged = changed;
    nm.lParam = ValidRow(row) ? rows_[static_cast<size_t>(row)].param : 0;
    NotifyParent(nm.hdr);
}

void ListViewControl::ChangeState(int row, UINT state, UINT mask) {
    // The notification handler may change the table; re-check the row each time.
    if (!ValidRow(row)) return;
    UINT old = rows_[static_cast<size_t>(row)].state;
    UINT now = (old & ~mask) | (state & mask);
    if (now == old) return;
    rows_[static_cast<size_t>(row)].state = now;
    Invalidate();
    SendItemNotification(LVN_ITEMCHANGED, row, old, now, LVIF_STATE);
}

LRESULT ListViewControl::InsertItem(const LVITEMA* item) {
    if (!item || item->iSubItem != 0) return -1;
    Row row;
    if (item->mask & LVIF_TEXT) row.cells.push_back(item->pszText ? item->pszText : "");
    if (item->mask & LVIF_PARAM) row.param = item->lParam;
    if (item->mask & LVIF_IMAGE) row.image = item->iImage;
    UINT requested = (item->mask & LVIF_STATE) ? (item->state & item->stateMask) : 0;
    int at = std::clamp(item->iItem, 0, RowCount());
    if (Style() & LVS_SORTASCENDING) {
        std::string text = row.cells.empty() ? std::string() : row.cells[0];
        at = 0;
        while (at < RowCount() && ItemList::CompareNoCase(rows_[static_cast<size_t>(at)].cells.empty()
                                                               ? std::string()
                                                               : rows_[static_cast<size_t>(at)].cells[0],
                                                           text) <= 0)
            ++at;
    }
    row.state = requested & ~LVIS_STATEIMAGEMASK;
    rows_.insert(rows_.begin() + at, std::move(row));
    if (selectionMark_ >= at) ++selectionMark_;
    Invalidate();
    SendItemNotification(LVN_INSERTITEM, at, 0, 0, 0);
    if (HasCheckBoxes()) {
        UINT image = (requested & LVIS_STATEIMAGEMASK) ? (requested & LVIS_STATEIMAGEMASK) : kUnticked;
        ChangeState(at, image, LVIS_STATEIMAGEMASK);
    }
    return at;
}

LRESULT ListViewControl::SetItem(const LVITEMA* item) {
    if (!item || !ValidRow(item->iItem) || item->iSubItem < 0) return FALSE;
    Row& row = rows_[static_cast<size_t>(item->iItem)];
    if (item->mask & LVIF_TEXT) Cell(row, item->iSubItem) = item->pszText ? item->pszText : "";
    if (item->iSubItem == 0) {
        if (item->mask & LVIF_PARAM) row.param = item->lParam;
        if (item->mask & LVIF_IMAGE) row.image = item->iImage;
    }
    Invalidate();
    if ((item->mask & LVIF_STATE) && item->iSubItem == 0) ChangeState(item->iItem, item->state, item->stateMask);
    return TRUE;
}

LRESULT ListViewControl::GetItemText(int rowIndex, LVITEMA* item) const {
    if (!item || !ValidRow(rowIndex) || !item->pszText || item->cchTextMax <= 0) return 0;
    const Row& row = rows_[static_cast<size_t>(rowIndex)];
    std::string text = static_cast<size_t>(item->iSubItem) < row.cells.size() && item->iSubItem >= 0
                           ? row.cells[static_cast<size_t>(item->iSubItem)]
                           : std::string();
    size_t n = std::min(text.size(), static_cast<size_t>(item->cchTextMax - 1));
    std::memcpy(item->pszText, text.data(), n);
    item->pszText[n] = '\0';
    return static_cast<LRESULT>(n);
}

LRESULT ListViewControl::GetItem(LVITEMA* item) const {
    if (!item || !ValidRow(item->iItem)) return FALSE;
    const Row& row = rows_[static_cast<size_t>(item->iItem)];
    if (item->mask & LVIF_TEXT) GetItemText(item->iItem, item);
    if (item->mask & LVIF_PARAM) item->lParam = row.param;
    if (item->mask & LVIF_IMAGE) item->iImage = row.image;
    if (item->mask & LVIF_STATE) item->state = row.state & item->stateMask;
    return TRUE;
}

int ListViewControl::AutoWidth(int column, bool withHeader) const {
    size_t widest = 0;
    for (const Row& r : rows_)
        if (static_cast<size_t>(column) < r.cells.size()) widest = std::max(widest, r.cells[static_cast<size_t>(column)].size());
    if (withHeader) widest = std::max(widest, columns_[static_cast<size_t>(column)].text.size());
    return static_cast<int>(widest) * kDialogCharWidth + kCellMargin;
}

void ListViewControl::Select(int row) {
    for (int i = 0; i < RowCount(); ++i)
        if (i != row) ChangeState(i, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ChangeState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    selectionMark_ = row;
}

LRESULT ListViewControl::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    auto index = static_cast<int>(static_cast<intptr_t>(wParam));
    switch (message) {
    case LVM_GETITEMCOUNT: return RowCount();
    case LVM_INSERTITEMA: return InsertItem(reinterpret_cast<const LVITEMA*>(lParam));
    case LVM_SETITEMA: return SetItem(reinterpret_cast<const LVITEMA*>(lParam));
    case LVM_GETITEMA: return GetItem(reinterpret_cast<LVITEMA*>(lParam));
    case LVM_SETITEMTEXTA: {
        auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (!item || !ValidRow(index) || item->iSubItem < 0) return FALSE;
        Cell(rows_[static_cast<size_t>(index)], item->iSubItem) = item->pszText ? item->pszText : "";
        Invalidate();
        return TRUE;
    }
    case LVM_GETITEMTEXTA: return GetItemText(index, reinterpret_cast<LVITEMA*>(lParam));
    case LVM_DELETEITEM:
        if (!ValidRow(index)) return FALSE;
        SendItemNotification(LVN_DELETEITEM, index, 0, 0, 0);
        if (!ValidRow(index)) return FALSE;
        rows_.erase(rows_.begin() + index);
        if (selectionMark_ == index)
            selectionMark_ = -1;
        else if (selectionMark_ > index)
            --selectionMark_;
        Invalidate();
        return TRUE;
    case LVM_DELETEALLITEMS:
        SendItemNotification(LVN_DELETEALLITEMS, -1, 0, 0, 0);
        rows_.clear();
        selectionMark_ = -1;
        Invalidate();
        return TRUE;
    case LVM_SETITEMSTATE: {
        auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (!item) return FALSE;
        if (index == -1) {
            for (int i = 0; i < RowCount(); ++i) ChangeState(i, item->state, item->stateMask);
            return TRUE;
        }
        if (!ValidRow(index)) return FALSE;
        ChangeState(index, item->state, item->stateMask);
        return TRUE;
    }
    case LVM_GETITEMSTATE:
        return ValidRow(index) ? static_cast<LRESULT>(rows_[static_cast<size_t>(index)].state & static_cast<UINT>(lParam)) : 0;
    case LVM_GETNEXTITEM: {
        UINT flags = static_cast<UINT>(lParam);
        for (int i = index < 0 ? 0 : index + 1; i < RowCount(); ++i) {
            UINT s = rows_[static_cast<size_t>(i)].state;
            if ((flags & LVNI_SELECTED) && !(s & LVIS_SELECTED)) continue;
            if ((flags & LVNI_FOCUSED) && !(s & LVIS_FOCUSED)) continue;
            return i;
        }
        return -1;
    }
    case LVM_GETSELECTEDCOUNT:
        return std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return (r.state & LVIS_SELECTED) != 0; });
    case LVM_GETSELECTIONMARK: return selectionMark_;
    case LVM_SETSELECTIONMARK: {
        int previous = selectionMark_;
        selectionMark_ = static_cast<int>(lParam);
        return previous;
    }
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        DWORD previous = extendedStyle_;
        DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
        extendedStyle_ = (extendedStyle_ & ~mask) | (static_cast<DWORD>(lParam) & mask);
        if (HasCheckBoxes() && !(previous & LVS_EX_CHECKBOXES)) {
            for (int i = 0; i < RowCount(); ++i) ChangeState(i, kUnticked, LVIS_STATEIMAGEMASK);
        }
        Invalidate();
        return static_cast<LRESULT>(previous);
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return static_cast<LRESULT>(extendedStyle_);
    case LVM_INSERTCOLUMNA: {
        auto* column = reinterpret_cast<const LVCOLUMNA*>(lParam);
        if (!column || index < 0) return -1;
        int at = std::min(index, static_cast<int>(columns_.size()));
        Column c{(column->mask & LVCF_TEXT) && column->pszText ? column->pszText : "",
                 (column->mask & LVCF_WIDTH) ? column->cx : 50};
        columns_.insert(columns_.begin() + at, c);
        Invalidate();
        return at;
    }
    case LVM_DELETECOLUMN:
        if (index < 0 || index >= static_cast<int>(columns_.size())) return FALSE;
        columns_.erase(columns_.begin() + index);
        for (Row& r : rows_)
            if (static_cast<size_t>(index) < r.cells.size()) r.cells.erase(r.cells.begin() + index);
        return TRUE;
    case LVM_GETCOLUMNWIDTH:
        return index >= 0 && index < static_cast<int>(columns_.size()) ? columns_[static_cast<size_t>(index)].width : 0;
    case LVM_SETCOLUMNWIDTH: {
        if (index < 0 || index >= static_cast<int>(columns_.size())) return FALSE;
        int cx = static_cast<int>(static_cast<short>(LOWORD(static_cast<uintptr_t>(lParam))));
        if (cx == LVSCW_AUTOSIZE)
            cx = AutoWidth(index, false);
        else if (cx == LVSCW_AUTOSIZE_USEHEADER)
            cx = AutoWidth(index, true);
        columns_[static_cast<size_t>(index)].width = cx;
        return TRUE;
    }
    case LVM_GETSTRINGWIDTHA: {
        auto* text = reinterpret_cast<const char*>(lParam);
        return text ? static_cast<LRESULT>(std::strlen(text)) * kDialogCharWidth : 0;
    }
    case LVM_ENSUREVISIBLE: return ValidRow(index);
    default: return DefaultProcess(message, wParam, lParam);
    }
}

bool ListViewControl::UserSelect(int row) {
    if (!ValidRow(row)) return false;
    Select(row);
    NMITEMACTIVATE nm{};
    nm.hdr.code = NM_CLICK;
    nm.iItem = row;
    NotifyParent(nm.hdr);
    return true;
}

bool ListViewControl::UserDoubleClick(int row) {
    if (row != -1 && !ValidRow(row)) return false;
    if (row != -1) Select(row);
    NMITEMACTIVATE nm{};
    nm.hdr.code = NM_DBLCLK;
    nm.iItem = row;
    NotifyParent(nm.hdr);
    return true;
}

bool ListViewControl::UserTick(int row) {
    if (!ValidRow(row) || !HasCheckBoxes()) return false;
    UINT image = rows_[static_cast<size_t>(row)].state & LVIS_STATEIMAGEMASK;
    ChangeState(row, image == kTicked ? kUnticked : kTicked, LVIS_STATEIMAGEMASK);
    return true;
}

void ListViewControl::Describe(ControlState& state) const {
    Window::Describe(state);
    for (const Column& c : columns_) state.columns.push_back(c.text);
    for (const Row& r : rows_) {
        ListRowState row;
        row.cells = r.cells;
        row.checked = (r.state & LVIS_STATEIMAGEMASK) == kTicked;
        row.selected = (r.state & LVIS_SELECTED) != 0;
        state.rows.push_back(std::move(row));
    }
    state.selection = selectionMark_;
}
