#include "feeds/transponders/TransponderListDialog.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const WCHAR* kTemplateName = u"TRANSPONDERLISTDLG";
constexpr const char* kNoSelectionText = "No transponder selected";
constexpr const char* kNoSelectionCaption = "Error";

struct Satellite {
    const char* name;
    uint16_t position;
};
constexpr Satellite kSatellites[] = {{"All", 0},
                                     {"19.2\xB0" "E - Astra 1", 0x0192},
                                     {"13.0\xB0" "E - Hotbird", 0x0130},
                                     {"23.5\xB0" "E - Astra 3B", 0x0235},
                                     {"28.2\xB0" "E - Astra 2", 0x0282}};

struct Column {
    const char* header;
    int width;
};
constexpr Column kColumns[] = {{"Fav", 30},        {"Orbital Pos.", 80}, {"Frequency", 65}, {"Pol.", 35},
                               {"Symbolrate", 80}, {"Modulation", 70},   {"Comment", 20}};
enum ColumnIndex { kFavColumn, kPositionColumn, kFrequencyColumn, kPolarisationColumn, kSymbolRateColumn,
                   kModulationColumn, kCommentColumn };
constexpr int kCellTextSize = 100;

constexpr UINT kUnmarked = INDEXTOSTATEIMAGEMASK(1);
constexpr UINT kMarked = INDEXTOSTATEIMAGEMASK(2);

}  // namespace

TransponderListDialog::TransponderListDialog(const char* applicationName, const char* fileName)
    : CConfigDialog(kTemplateName, nullptr),
      fileName_(fileName ? fileName : kTransponderListFileName),
      settings_(applicationName),
      filter_(settings_.LoadFilter()) {}

bool TransponderListDialog::Run(HWND owner, uint16_t* orbitalPosition, uint8_t* descriptor) {
    chosen_ = -1;
    if (DoModal(owner) != 1 || chosen_ < 0 || static_cast<size_t>(chosen_) >= entries_.size()) return false;
    const TransponderEntry& entry = entries_[static_cast<size_t>(chosen_)];
    if (orbitalPosition) *orbitalPosition = entry.orbitalPosition;
    if (descriptor) std::memcpy(descriptor, entry.descriptor.data(), 2 + size_t{entry.descriptor[1]});
    return true;
}

INT_PTR TransponderListDialog::OnInitDialog() {
    filling_ = true;
    FillSatelliteList();
    CheckDlgButton(m_hwnd, kFavouritesOnlyCheck, filter_.favouritesOnly ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(m_hwnd, kCommentFilterEdit, EM_LIMITTEXT, kFilterTextLimit, 0);
    SetDlgItemTextA(m_hwnd, kCommentFilterEdit, filter_.text.c_str());
    SetUpTable();
    filling_ = false;
    Reload();
    SendDlgItemMessageA(m_hwnd, kTable, LVM_SETCOLUMNWIDTH, kCommentColumn,
                        static_cast<LPARAM>(static_cast<uint16_t>(LVSCW_AUTOSIZE_USEHEADER)));
    return TRUE;
}

void TransponderListDialog::FillSatelliteList() {
    for (const Satellite& satellite : kSatellites) {
        const LRESULT at = SendDlgItemMessageA(m_hwnd, kSatelliteList, CB_ADDSTRING, 0,
                                               reinterpret_cast<LPARAM>(satellite.name));
        SendDlgItemMessageA(m_hwnd, kSatelliteList, CB_SETITEMDATA, static_cast<WPARAM>(at), satellite.position);
        if (satellite.position == filter_.satellite)
            SendDlgItemMessageA(m_hwnd, kSatelliteList, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
}

void TransponderListDialog::SetUpTable() {
    HWND table = GetDlgItem(m_hwnd, kTable);
    SetWindowLongPtrA(table, GWL_STYLE,
                      GetWindowLongPtrA(table, GWL_STYLE) | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS);
    SendMessageA(table, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<char*>(kColumns[i].header);
        column.cx = kColumns[i].width;
        SendMessageA(table, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
}

void TransponderListDialog::Reload() {
    filling_ = true;
    HWND table = GetDlgItem(m_hwnd, kTable);
    SendMessageA(table, LVM_DELETEALLITEMS, 0, 0);
    entries_.clear();
    const std::optional<std::string> text = ReadTransponderFileText(fileName_.c_str());
    const std::set<std::string> favourites = settings_.Favourites();
    const std::vector<TransponderRow> rows =
        text ? SelectTransponderRows(*text, filter_,
                                     [&](const std::string& key) { return favourites.count(key) > 0; })
             : std::vector<TransponderRow>();
    for (const TransponderRow& row : rows) {
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_STATE;
        item.iItem = static_cast<int>(entries_.size());
        item.pszText = const_cast<char*>("");
        item.state = row.favourite ? kMarked : kUnmarked;
        item.stateMask = LVIS_STATEIMAGEMASK;
        const auto at = static_cast<int>(SendMessageA(table, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        const std::pair<int, const std::string*> cells[] = {
            {kPositionColumn, &row.position},     {kFrequencyColumn, &row.frequency},
            {kPolarisationColumn, &row.polarisation}, {kSymbolRateColumn, &row.symbolRate},
            {kModulationColumn, &row.modulation}, {kCommentColumn, &row.comment}};
        for (const auto& [column, cellText] : cells) {
            if (cellText->empty()) continue;
            LVITEMA cell{};
            cell.iSubItem = column;
            cell.pszText = const_cast<char*>(cellText->c_str());
            SendMessageA(table, LVM_SETITEMTEXTA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&cell));
        }
        entries_.push_back(row.entry);
    }
    filling_ = false;
}

INT_PTR TransponderListDialog::OnCommand(WPARAM command, WORD notification) {
    if (filling_) return FALSE;
    switch (LOWORD(command)) {
    case kSatelliteList: {
        if (notification != CBN_SELCHANGE) return FALSE;
        const LRESULT at = SendDlgItemMessageA(m_hwnd, kSatelliteList, CB_GETCURSEL, 0, 0);
        if (at == CB_ERR) return TRUE;
        const auto position =
            static_cast<uint16_t>(SendDlgItemMessageA(m_hwnd, kSatelliteList, CB_GETITEMDATA, static_cast<WPARAM>(at), 0));
        if (position == filter_.satellite) return TRUE;
        filter_.satellite = position;
        settings_.StoreSatellite(position);
        Reload();
        return TRUE;
    }
    case kFavouritesOnlyCheck:
        if (notification != BN_CLICKED) return FALSE;
        filter_.favouritesOnly = IsDlgButtonChecked(m_hwnd, kFavouritesOnlyCheck) == BST_CHECKED;
        settings_.StoreFavouritesOnly(filter_.favouritesOnly);
        Reload();
        return TRUE;
    case kCommentFilterEdit: {
        if (notification != EN_CHANGE) return FALSE;
        char text[kFilterTextLimit + 1] = {};
        GetDlgItemTextA(m_hwnd, kCommentFilterEdit, text, sizeof text);
        filter_.text = text;
        Reload();
        settings_.StoreText(filter_.text);
        return TRUE;
    }
    case IDOK: {
        const auto mark = static_cast<int>(SendDlgItemMessageA(m_hwnd, kTable, LVM_GETSELECTIONMARK, 0, 0));
        if (!Choose(mark)) MessageBoxA(m_hwnd, kNoSelectionText, kNoSelectionCaption, MB_OK | MB_ICONERROR);
        return TRUE;
    }
    case IDCANCEL: EndDialog(m_hwnd, 0); return TRUE;
    default: return FALSE;
    }
}

bool TransponderListDialog::Choose(int row) {
    if (row < 0 || static_cast<size_t>(row) >= entries_.size()) return false;
    chosen_ = row;
    EndDialog(m_hwnd, 1);
    return true;
}

INT_PTR TransponderListDialog::OnNotify(int controlId, NMHDR* header) {
    if (controlId != kTable || !header) return FALSE;
    if (header->code == NM_DBLCLK) {
        Choose(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
        return TRUE;
    }
    if (header->code != LVN_ITEMCHANGED || filling_) return FALSE;
    const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
    const UINT before = change->uOldState & LVIS_STATEIMAGEMASK;
    const UINT after = change->uNewState & LVIS_STATEIMAGEMASK;
    // Only a person's tick or untick counts: a selection change says nothing about the
    // favourite, and two rows may share one key.
    if (before == after || before == 0) return FALSE;
    FavouriteChanged(change->iItem, after == kMarked);
    return TRUE;
}

std::string TransponderListDialog::CellText(int row, int column) {
    char text[kCellTextSize] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendDlgItemMessageA(m_hwnd, kTable, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

void TransponderListDialog::FavouriteChanged(int row, bool marked) {
    settings_.SetFavourite(TransponderRow::FavouriteKeyOf(CellText(row, kPositionColumn), CellText(row, kFrequencyColumn),
                                                          CellText(row, kPolarisationColumn)),
                           marked);
}
