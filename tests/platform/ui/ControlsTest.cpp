// What the controls do on their own: list order, radio groups, edits, tables,
// address fields and sliders, and what they tell their dialog.
#include <cstring>

#include "tests/platform/ui/UiTestSupport.h"

namespace {

std::vector<std::string> ListTexts(const ModelessDialog& m, int id, UINT countMessage, UINT textMessage) {
    std::vector<std::string> out;
    auto n = m.Send(id, countMessage);
    for (LRESULT i = 0; i < n; ++i) {
        char buffer[128];
        m.Send(id, textMessage, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        out.push_back(buffer);
    }
    return out;
}

LRESULT Add(const ModelessDialog& m, int id, const char* text, UINT message = LB_ADDSTRING) {
    return m.Send(id, message, 0, reinterpret_cast<LPARAM>(text));
}

}  // namespace

TEST(Controls, SortedListBoxInsertsInCaseInsensitiveOrderAndKeepsItemData) {
    ModelessDialog m(MakeDialog("Lists", {Control(10, WC_LISTBOX, "", LBS_SORT | LBS_NOTIFY),
                                          Control(11, WC_LISTBOX, "", LBS_NOTIFY)}));
    EXPECT_EQ(Add(m, 10, "Mike"), 0);
    m.Send(10, LB_SETITEMDATA, 0, 100);
    EXPECT_EQ(Add(m, 10, "alpha"), 0);
    m.Send(10, LB_SETITEMDATA, 0, 200);
    EXPECT_EQ(Add(m, 10, "Zulu"), 2);
    EXPECT_EQ(Add(m, 10, "ALPHA"), 1) << "an equal text goes after the ones already there";
    EXPECT_EQ(ListTexts(m, 10, LB_GETCOUNT, LB_GETTEXT), (std::vector<std::string>{"alpha", "ALPHA", "Mike", "Zulu"}));
    EXPECT_EQ(m.Send(10, LB_GETITEMDATA, 0), 200);
    EXPECT_EQ(m.Send(10, LB_GETITEMDATA, 2), 100) << "data travels with its entry";
    EXPECT_EQ(m.Send(10, LB_GETITEMDATA, 4), LB_ERR);

    Add(m, 11, "Zulu");
    Add(m, 11, "alpha");
    EXPECT_EQ(ListTexts(m, 11, LB_GETCOUNT, LB_GETTEXT), (std::vector<std::string>{"Zulu", "alpha"}));
    EXPECT_EQ(m.Send(11, LB_INSERTSTRING, 1, reinterpret_cast<LPARAM>("mid")), 1);
    EXPECT_EQ(m.Send(11, LB_INSERTSTRING, 9, reinterpret_cast<LPARAM>("far")), LB_ERR);
}

TEST(Controls, ListBoxSelectionFollowsDeletionsAndSearchesWrap) {
    ModelessDialog m(MakeDialog("Lists", {Control(10, WC_LISTBOX, "", LBS_NOTIFY)}));
    for (const char* t : {"one", "two", "three", "two"}) Add(m, 10, t);
    EXPECT_EQ(m.Send(10, LB_GETCURSEL), LB_ERR);
    EXPECT_EQ(m.Send(10, LB_SETCURSEL, 2), 2);
    EXPECT_EQ(m.Send(10, LB_DELETESTRING, 0), 3);
    EXPECT_EQ(m.Send(10, LB_GETCURSEL), 1) << "the selected entry moved up";
    EXPECT_EQ(m.Send(10, LB_SETCURSEL, static_cast<WPARAM>(-1)), LB_ERR);
    EXPECT_EQ(m.Send(10, LB_GETCURSEL), LB_ERR);
    EXPECT_EQ(m.Send(10, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("TWO")), 0);
    EXPECT_EQ(m.Send(10, LB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>("two")), 2);
    EXPECT_EQ(m.Send(10, LB_FINDSTRINGEXACT, 2, reinterpret_cast<LPARAM>("two")), 0) << "wraps round";
    EXPECT_EQ(m.Send(10, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("th")), 1);
    EXPECT_EQ(m.Send(10, LB_GETTEXTLEN, 1), 5);
    EXPECT_EQ(m.Send(10, LB_GETTEXT, 7, 0), LB_ERR);
    EXPECT_TRUE(m.dialog.Commands().empty()) << "nothing a program does is reported as a selection";
}

TEST(Controls, AutomaticRadioButtonsClearTheirGroupOnly) {
    ModelessDialog m(MakeDialog(
        "Radios", {Control(1, WC_BUTTON, "a", BS_AUTORADIOBUTTON | WS_GROUP), Control(2, WC_BUTTON, "b", BS_AUTORADIOBUTTON),
                   Control(3, WC_EDIT, ""), Control(4, WC_BUTTON, "c", BS_AUTORADIOBUTTON),
                   Control(5, WC_BUTTON, "x", BS_AUTORADIOBUTTON | WS_GROUP), Control(6, WC_BUTTON, "y", BS_RADIOBUTTON)}));
    CheckDlgButton(m.hwnd, 1, BST_CHECKED);
    CheckDlgButton(m.hwnd, 5, BST_CHECKED);
    SendMessageA(m.Item(4), BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 1), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 4), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 5), BST_CHECKED) << "another group";
    SendMessageA(m.Item(6), BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 6), BST_UNCHECKED) << "a plain radio button leaves checking to its dialog";
    EXPECT_EQ(m.dialog.Commands(), (std::vector<std::pair<int, int>>{{4, BN_CLICKED}, {6, BN_CLICKED}}));

    CheckRadioButton(m.hwnd, 1, 4, 2);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 2), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 4), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 5), BST_CHECKED) << "outside the range";
    EXPECT_EQ(m.dialog.Commands().size(), 2u) << "checking from code notifies nobody";
}

TEST(Controls, CheckBoxesToggleAndDisabledButtonsIgnoreClicks) {
    ModelessDialog m(MakeDialog("Checks", {Control(1, WC_BUTTON, "two", BS_AUTOCHECKBOX),
                                           Control(2, WC_BUTTON, "three", BS_AUTO3STATE), Control(3, WC_BUTTON, "push")}));
    SendMessageA(m.Item(1), BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 1), BST_CHECKED);
    SendMessageA(m.Item(1), BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 1), BST_UNCHECKED);
    for (UINT expected : {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}) {
        SendMessageA(m.Item(2), BM_CLICK, 0, 0);
        EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 2), expected);
    }
    CheckDlgButton(m.hwnd, 1, BST_INDETERMINATE);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 1), BST_CHECKED) << "a two-state box has no third state";
    CheckDlgButton(m.hwnd, 3, BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 3), BST_UNCHECKED);
    EXPECT_FALSE(EnableWindow(m.Item(1), FALSE));
    EXPECT_TRUE(EnableWindow(m.Item(1), FALSE)) << "reports that it was disabled already";
    size_t before = m.dialog.Commands().size();
    SendMessageA(m.Item(1), BM_CLICK, 0, 0);
    EXPECT_EQ(m.dialog.Commands().size(), before);
    EXPECT_EQ(IsDlgButtonChecked(m.hwnd, 1), BST_CHECKED);
}

TEST(Controls, EditsReportEveryChangeAndFilterWhatAPersonTypes) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate t("CT_EDITS", MakeDialog("Edits", {Control(10, WC_EDIT, "", ES_NUMBER), Control(11, WC_EDIT, "", ES_READONLY),
                                                      Control(12, WC_EDIT, "start"), Control(IDOK, WC_BUTTON, "OK")}));
    TestDialog d;
    d.handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SendDlgItemMessageA(hwnd, 12, EM_LIMITTEXT, 4, 0);
            SetDlgItemTextA(hwnd, 11, "fixed");
        }
        return FALSE;
    };
    presenter.Type(10, "12ab3").Type(11, "x").Type(12, "abcdef").Ok();
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, d.Param()), IDOK);
    const DialogState& last = presenter.Dialogs()[0].Last();
    EXPECT_EQ(last.Find(10)->text, "123");
    EXPECT_EQ(last.Find(11)->text, "fixed");
    EXPECT_EQ(last.Find(12)->text, "abcd");
    EXPECT_EQ(presenter.Problems(), (std::vector<std::string>{"CT_EDITS: type \"12ab3\" into 10: the field refused \"ab\"",
                                                              "CT_EDITS: type \"x\" into 11: the field is read-only",
                                                              "CT_EDITS: type \"abcdef\" into 12: the field refused \"ef\""}));
    // Setting text from code reports like typing: update, then change; focus moves notify too.
    std::vector<std::pair<int, int>> edits;
    for (auto c : d.Commands())
        if (c.first == 11 || c.first == 12) edits.push_back(c);
    EXPECT_EQ(edits, (std::vector<std::pair<int, int>>{{11, EN_UPDATE},
                                                       {11, EN_CHANGE},
                                                       {11, EN_SETFOCUS},
                                                       {11, EN_KILLFOCUS},
                                                       {12, EN_SETFOCUS},
                                                       {12, EN_UPDATE},
                                                       {12, EN_CHANGE},
                                                       {12, EN_KILLFOCUS}}));
}

TEST(Controls, ComboBoxesSortSelectAndShowTheChosenEntry) {
    ModelessDialog m(MakeDialog("Combos", {Control(20, WC_COMBOBOX, "", CBS_DROPDOWNLIST | CBS_SORT),
                                           Control(21, WC_COMBOBOX, "", CBS_DROPDOWN)}));
    Add(m, 20, "Hotbird", CB_ADDSTRING);
    Add(m, 20, "astra", CB_ADDSTRING);
    m.Send(20, CB_SETITEMDATA, 0, 402);
    EXPECT_EQ(ListTexts(m, 20, CB_GETCOUNT, CB_GETLBTEXT), (std::vector<std::string>{"astra", "Hotbird"}));
    EXPECT_EQ(m.Send(20, CB_SETCURSEL, 1), 1);
    EXPECT_EQ(m.Text(20), "Hotbird");
    EXPECT_EQ(m.Send(20, CB_SETCURSEL, 5), CB_ERR);
    EXPECT_EQ(m.Send(20, CB_GETCURSEL), 1);
    EXPECT_FALSE(SetDlgItemTextA(m.hwnd, 20, "Nowhere")) << "a drop-down list shows only its entries";
    EXPECT_TRUE(SetDlgItemTextA(m.hwnd, 20, "ASTRA"));
    EXPECT_EQ(m.Send(20, CB_GETITEMDATA, m.Send(20, CB_GETCURSEL)), 402);
    EXPECT_TRUE(SetDlgItemTextA(m.hwnd, 21, "free text"));
    EXPECT_EQ(m.Text(21), "free text");
    EXPECT_TRUE(m.dialog.Commands().empty());
}

TEST(Controls, TablesReportStateChangesIncludingTheCheckBoxOfNewRows) {
    ModelessDialog m(MakeDialog("Table", {Control(30, WC_LISTVIEW, "", LVS_REPORT | LVS_SINGLESEL)}));
    std::vector<NMLISTVIEW> changes;
    std::vector<int> doubleClicks;
    m.dialog.handler = [&](HWND, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
        if (message != WM_NOTIFY) return FALSE;
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        EXPECT_EQ(header->idFrom, 30u);
        if (header->code == LVN_ITEMCHANGED) changes.push_back(*reinterpret_cast<NMLISTVIEW*>(lParam));
        if (header->code == NM_DBLCLK) doubleClicks.push_back(reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem);
        return FALSE;
    };
    m.Send(30, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    char header[] = "Orbital Pos.";
    LVCOLUMNA column{LVCF_TEXT | LVCF_WIDTH, 0, 80, header, 0, 0};
    EXPECT_EQ(m.Send(30, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column)), 0);
    char row0[] = "19.2E";
    char row1[] = "13.0E";
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.pszText = row0;
    EXPECT_EQ(m.Send(30, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
    item.iItem = 5;  // beyond the end: appended
    item.pszText = row1;
    EXPECT_EQ(m.Send(30, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].uOldState, 0u);
    EXPECT_EQ(changes[0].uNewState, INDEXTOSTATEIMAGEMASK(1));

    LVITEMA tick{};
    tick.stateMask = LVIS_STATEIMAGEMASK;
    tick.state = INDEXTOSTATEIMAGEMASK(2);
    m.Send(30, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&tick));
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[2].iItem, 1);
    EXPECT_EQ(changes[2].uOldState, INDEXTOSTATEIMAGEMASK(1));
    EXPECT_EQ(changes[2].uNewState, INDEXTOSTATEIMAGEMASK(2));
    m.Send(30, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&tick));
    EXPECT_EQ(changes.size(), 3u) << "no change, no report";
    EXPECT_EQ((m.Send(30, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK) >> 12) - 1, 1);

    char small[4];
    LVITEMA get{};
    get.iSubItem = 0;
    get.pszText = small;
    get.cchTextMax = sizeof small;
    EXPECT_EQ(m.Send(30, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&get)), 3);
    EXPECT_STREQ(small, "19.");
    EXPECT_EQ(m.Send(30, LVM_GETSELECTIONMARK), -1);
    m.Send(30, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(static_cast<WORD>(LVSCW_AUTOSIZE_USEHEADER), 0));
    EXPECT_EQ(m.Send(30, LVM_GETCOLUMNWIDTH, 0), 12 * 6 + 12) << "the header is the widest text";
    EXPECT_TRUE(doubleClicks.empty());
    EXPECT_TRUE(m.Send(30, LVM_DELETEALLITEMS));
    EXPECT_EQ(m.Send(30, LVM_GETITEMCOUNT), 0);
}

TEST(Controls, AddressFieldsHoldFourNumbersAndReportChangedFields) {
    ModelessDialog m(MakeDialog("Address", {Control(40, WC_IPADDRESS, "")}));
    std::vector<std::pair<int, int>> fields;
    m.dialog.handler = [&](HWND, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
        if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == IPN_FIELDCHANGED) {
            auto* nm = reinterpret_cast<NMIPADDRESS*>(lParam);
            fields.emplace_back(nm->iField, nm->iValue);
        }
        return FALSE;
    };
    EXPECT_TRUE(m.Send(40, IPM_ISBLANK));
    DWORD address = 1;
    EXPECT_EQ(m.Send(40, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)), 0);
    EXPECT_EQ(address, 0u);
    m.Send(40, IPM_SETADDRESS, 0, static_cast<LPARAM>(MAKEIPADDRESS(239, 1, 2, 3)));
    EXPECT_EQ(m.Send(40, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)), 4);
    EXPECT_EQ(address, MAKEIPADDRESS(239, 1, 2, 3));
    EXPECT_EQ(m.Text(40), "239.1.2.3");
    EXPECT_TRUE(fields.empty()) << "setting from code reports no fields";
    EXPECT_EQ(m.dialog.Commands(), (std::vector<std::pair<int, int>>{{40, EN_CHANGE}}));
    EXPECT_FALSE(SetDlgItemTextA(m.hwnd, 40, "1.2.3.256"));
    EXPECT_FALSE(SetDlgItemTextA(m.hwnd, 40, "1.2.3"));
    EXPECT_EQ(m.Text(40), "239.1.2.3");
}

TEST(Controls, ScriptedStepsOnTablesAddressesAndSliders) {
    ScriptedPresenter presenter;
    ScopedPresenter scope(&presenter);
    ScopedTemplate t("CT_MIXED", MakeDialog("Mixed", {Control(30, WC_LISTVIEW, "", LVS_REPORT), Control(40, WC_IPADDRESS, ""),
                                                      Control(50, TRACKBAR_CLASS, ""), Control(IDOK, WC_BUTTON, "OK")}));
    TestDialog d;
    std::vector<std::string> events;
    d.handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SendDlgItemMessageA(hwnd, 30, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES);
            char text[] = "row";
            LVITEMA item{};
            item.mask = LVIF_TEXT;
            item.pszText = text;
            for (int i = 0; i < 3; ++i) SendDlgItemMessageA(hwnd, 30, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
            SendDlgItemMessageA(hwnd, 50, TBM_SETRANGE, TRUE, MAKELPARAM(0, 10));
            events.clear();
        }
        if (message == WM_NOTIFY) {
            auto* h = reinterpret_cast<NMHDR*>(lParam);
            if (h->code == NM_DBLCLK) events.push_back("dblclk " + std::to_string(reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem));
            if (h->code == LVN_ITEMCHANGED) {
                auto* nm = reinterpret_cast<NMLISTVIEW*>(lParam);
                events.push_back("row " + std::to_string(nm->iItem) + " " + std::to_string(nm->uOldState) + "->" +
                                 std::to_string(nm->uNewState));
            }
            if (h->code == IPN_FIELDCHANGED) events.push_back("field " + std::to_string(reinterpret_cast<NMIPADDRESS*>(lParam)->iField));
        }
        if (message == WM_HSCROLL)
            events.push_back("hscroll " + std::to_string(LOWORD(wParam)) + " " + std::to_string(HIWORD(wParam)));
        return FALSE;
    };
    presenter.TickRow(30, 2)
        .DoubleClick(30, -1)
        .DoubleClick(30, 1)
        .TickRow(30, 7)
        .Type(40, "10.0.0.1")
        .Type(40, "10.0.9.1")
        .Type(40, "10.0.0.300")
        .Scroll(50, 42)
        .Ok();
    EXPECT_EQ(DialogBoxParamA(nullptr, t.Name(), nullptr, &TestDialog::Proc, d.Param()), IDOK);
    std::vector<std::string> expected = {"row 2 4096->8192", "dblclk -1",  "row 1 4096->4099", "dblclk 1",
                                         "field 0",          "field 1",    "field 2",          "field 3",
                                         "field 2",          "hscroll 4 10", "hscroll 8 0"};
    EXPECT_EQ(events, expected);
    const ControlState* table = presenter.Dialogs()[0].Last().Find(30);
    ASSERT_EQ(table->rows.size(), 3u);
    EXPECT_TRUE(table->rows[2].checked);
    EXPECT_TRUE(table->rows[1].selected);
    EXPECT_EQ(table->selection, 1) << "the selection mark follows the person's click";
    EXPECT_EQ(presenter.Dialogs()[0].Last().Find(50)->selection, 10) << "the slider stops at its range";
    EXPECT_EQ(presenter.Problems(),
              (std::vector<std::string>{"CT_MIXED: tick row 7 of 30: no such row or no check boxes",
                                        "CT_MIXED: type \"10.0.0.300\" into 40: not an address"}));
}
