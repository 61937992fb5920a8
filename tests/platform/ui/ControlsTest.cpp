// What the controls do on their own and what they tell their dialog, then the same
// controls worked by a script.
#include "tests/platform/ui/UiTestSupport.h"

namespace {

Texts ListTexts(const ModelessDialog& m, int id, UINT countMessage, UINT textMessage) {
    Texts out;
    for (LRESULT i = 0, n = m.Send(id, countMessage); i < n; ++i) {
        char buffer[128];
        m.SendText(id, textMessage, static_cast<WPARAM>(i), buffer);
        out.push_back(buffer);
    }
    return out;
}

using Controls = ScriptedTest;

}  // namespace

TEST_F(Controls, ListsSortKeepDataFollowDeletionsAndSearchRound) {
    ModelessDialog m(MakeDialog("Lists", {Control(10, WC_LISTBOX, "", LBS_SORT | LBS_NOTIFY),
                                          Control(11, WC_LISTBOX, "", LBS_NOTIFY),
                                          Control(20, WC_COMBOBOX, "", CBS_DROPDOWNLIST | CBS_SORT),
                                          Control(21, WC_COMBOBOX, "", CBS_DROPDOWN)}));
    EXPECT_EQ(m.SendText(10, LB_ADDSTRING, 0, "Mike"), 0);
    m.Send(10, LB_SETITEMDATA, 0, 100);
    EXPECT_EQ(m.SendText(10, LB_ADDSTRING, 0, "alpha"), 0);
    EXPECT_EQ(m.SendText(10, LB_ADDSTRING, 0, "Zulu"), 2);
    EXPECT_EQ(m.SendText(10, LB_ADDSTRING, 0, "ALPHA"), 1) << "an equal text goes after the ones already there";
    EXPECT_EQ(ListTexts(m, 10, LB_GETCOUNT, LB_GETTEXT), (Texts{"alpha", "ALPHA", "Mike", "Zulu"}));
    EXPECT_EQ(m.Send(10, LB_GETITEMDATA, 2), 100) << "data travels with its entry";
    EXPECT_EQ(m.Send(10, LB_GETITEMDATA, 4), LB_ERR);

    for (const char* t : {"one", "two", "three", "two"}) m.SendText(11, LB_ADDSTRING, 0, t);
    EXPECT_EQ(m.SendText(11, LB_INSERTSTRING, 9, "far"), LB_ERR);
    EXPECT_EQ(m.Send(11, LB_SETCURSEL, 2), 2);
    EXPECT_EQ(m.Send(11, LB_DELETESTRING, 0), 3);
    EXPECT_EQ(m.Send(11, LB_GETCURSEL), 1) << "the selected entry moved up";
    EXPECT_EQ(m.Send(11, LB_SETCURSEL, static_cast<WPARAM>(-1)), LB_ERR);
    EXPECT_EQ(m.Send(11, LB_GETCURSEL), LB_ERR);
    EXPECT_EQ(m.SendText(11, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), "TWO"), 0);
    EXPECT_EQ(m.SendText(11, LB_FINDSTRINGEXACT, 0, "two"), 2);
    EXPECT_EQ(m.SendText(11, LB_FINDSTRINGEXACT, 2, "two"), 0) << "wraps round";
    EXPECT_EQ(m.SendText(11, LB_FINDSTRING, static_cast<WPARAM>(-1), "th"), 1);

    m.SendText(20, CB_ADDSTRING, 0, "Hotbird");
    m.SendText(20, CB_ADDSTRING, 0, "astra");
    m.Send(20, CB_SETITEMDATA, 0, 402);
    EXPECT_EQ(ListTexts(m, 20, CB_GETCOUNT, CB_GETLBTEXT), (Texts{"astra", "Hotbird"}));
    EXPECT_EQ(m.Send(20, CB_SETCURSEL, 1), 1);
    EXPECT_EQ(m.Text(20), "Hotbird");
    EXPECT_EQ(m.Send(20, CB_SETCURSEL, 5), CB_ERR);
    EXPECT_FALSE(SetDlgItemTextA(m.hwnd, 20, "Nowhere")) << "a drop-down list shows only its entries";
    EXPECT_TRUE(SetDlgItemTextA(m.hwnd, 20, "ASTRA"));
    EXPECT_EQ(m.Send(20, CB_GETITEMDATA, m.Send(20, CB_GETCURSEL)), 402);
    EXPECT_TRUE(SetDlgItemTextA(m.hwnd, 21, "free text"));
    EXPECT_EQ(m.Text(21), "free text");
    EXPECT_TRUE(m.dialog.CommandsSent().empty()) << "nothing a program does is reported as a selection";
}

TEST_F(Controls, ButtonsCheckToggleAndClearTheirGroupOnly) {
    ModelessDialog m(MakeDialog(
        "Buttons", {Control(1, WC_BUTTON, "a", BS_AUTORADIOBUTTON | WS_GROUP), Control(2, WC_BUTTON, "b", BS_AUTORADIOBUTTON),
                    Control(3, WC_EDIT, ""), Control(4, WC_BUTTON, "c", BS_AUTORADIOBUTTON),
                    Control(5, WC_BUTTON, "x", BS_AUTORADIOBUTTON | WS_GROUP), Control(6, WC_BUTTON, "y", BS_RADIOBUTTON),
                    Control(7, WC_BUTTON, "two", BS_AUTOCHECKBOX | WS_GROUP), Control(8, WC_BUTTON, "three", BS_AUTO3STATE),
                    Control(9, WC_BUTTON, "push")}));
    CheckDlgButton(m.hwnd, 1, BST_CHECKED);
    CheckDlgButton(m.hwnd, 5, BST_CHECKED);
    m.Click(4);
    EXPECT_EQ(m.Checked(1), BST_UNCHECKED);
    EXPECT_EQ(m.Checked(4), BST_CHECKED);
    EXPECT_EQ(m.Checked(5), BST_CHECKED) << "another group";
    m.Click(6);
    EXPECT_EQ(m.Checked(6), BST_UNCHECKED) << "a plain radio button leaves checking to its dialog";
    CheckRadioButton(m.hwnd, 1, 4, 2);
    EXPECT_EQ(m.Checked(4), BST_UNCHECKED);
    EXPECT_EQ(m.Checked(5), BST_CHECKED) << "outside the range";
    EXPECT_EQ(m.dialog.CommandsSent(), (Commands{{4, BN_CLICKED}, {6, BN_CLICKED}})) << "checking from code notifies nobody";

    for (UINT expected : {BST_CHECKED, BST_UNCHECKED}) {
        m.Click(7);
        EXPECT_EQ(m.Checked(7), expected);
    }
    for (UINT expected : {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}) {
        m.Click(8);
        EXPECT_EQ(m.Checked(8), expected);
    }
    CheckDlgButton(m.hwnd, 7, BST_INDETERMINATE);
    EXPECT_EQ(m.Checked(7), BST_CHECKED) << "a two-state box has no third state";
    CheckDlgButton(m.hwnd, 9, BST_CHECKED);
    EXPECT_EQ(m.Checked(9), BST_UNCHECKED);
    EnableWindow(m.Item(7), FALSE);
    size_t before = m.dialog.CommandsSent().size();
    m.Click(7);
    EXPECT_EQ(m.dialog.CommandsSent().size(), before) << "a disabled button ignores clicks";
    EXPECT_EQ(m.Checked(7), BST_CHECKED);
}

TEST_F(Controls, TablesAndAddressFieldsReportChangesMadeFromCode) {
    ModelessDialog m(MakeDialog("Table", {Control(30, WC_LISTVIEW, "", LVS_REPORT), Control(40, WC_IPADDRESS, "")}));
    std::vector<NMLISTVIEW> changes;
    int fieldReports = 0;
    m.dialog.handler = [&](HWND, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
        if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == LVN_ITEMCHANGED)
            changes.push_back(*reinterpret_cast<NMLISTVIEW*>(lParam));
        fieldReports += message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == IPN_FIELDCHANGED;
        return FALSE;
    };
    m.Send(30, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES);
    char row0[] = "19.2E", row1[] = "13.0E";
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.pszText = row0;
    EXPECT_EQ(m.Send(30, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
    item.iItem = 5;
    item.pszText = row1;
    EXPECT_EQ(m.Send(30, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1) << "beyond the end: appended";
    ASSERT_EQ(changes.size(), 2u) << "a new row gets its check box";
    EXPECT_EQ(changes[0].uOldState, 0u);
    EXPECT_EQ(changes[0].uNewState, INDEXTOSTATEIMAGEMASK(1));
    LVITEMA tick{};
    tick.stateMask = LVIS_STATEIMAGEMASK;
    tick.state = INDEXTOSTATEIMAGEMASK(2);
    m.Send(30, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&tick));
    m.Send(30, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&tick));
    ASSERT_EQ(changes.size(), 3u) << "no change, no report";
    EXPECT_EQ(changes[2].iItem, 1);
    EXPECT_EQ(changes[2].uOldState, INDEXTOSTATEIMAGEMASK(1));
    EXPECT_EQ(changes[2].uNewState, INDEXTOSTATEIMAGEMASK(2));
    char small[4];
    LVITEMA get{};
    get.pszText = small;
    get.cchTextMax = sizeof small;
    EXPECT_EQ(m.Send(30, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&get)), 3);
    EXPECT_STREQ(small, "19.");

    EXPECT_TRUE(m.Send(40, IPM_ISBLANK));
    DWORD address = 1;
    m.Send(40, IPM_SETADDRESS, 0, static_cast<LPARAM>(MAKEIPADDRESS(239, 1, 2, 3)));
    EXPECT_EQ(m.Send(40, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)), 4);
    EXPECT_EQ(address, MAKEIPADDRESS(239, 1, 2, 3));
    EXPECT_EQ(m.Text(40), "239.1.2.3");
    EXPECT_EQ(fieldReports, 0) << "setting from code reports no fields";
    EXPECT_EQ(m.dialog.CommandsSent(), (Commands{{40, EN_CHANGE}}));
    EXPECT_FALSE(SetDlgItemTextA(m.hwnd, 40, "1.2.3.256"));
    EXPECT_FALSE(SetDlgItemTextA(m.hwnd, 40, "1.2.3"));
    EXPECT_EQ(m.Text(40), "239.1.2.3");
}

TEST_F(Controls, EditsReportEveryChangeAndFilterWhatAPersonTypes) {
    ScopedTemplate t("CT_EDITS", MakeDialog("Edits", {Control(10, WC_EDIT, "", ES_NUMBER),
                                                      Control(11, WC_EDIT, "", ES_READONLY), Control(12, WC_EDIT, "start"),
                                                      Control(IDOK, WC_BUTTON, "OK")}));
    TestDialog d;
    d.handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SendDlgItemMessageA(hwnd, 12, EM_LIMITTEXT, 4, 0);
            SetDlgItemTextA(hwnd, 11, "fixed");
        }
        return FALSE;
    };
    presenter.Type(10, "12ab3").Type(11, "x").Type(12, "abcdef").Ok();
    EXPECT_EQ(d.Run(t.Name()), IDOK);
    const DialogState& last = presenter.Dialogs()[0].Last();
    EXPECT_EQ(last.Find(10)->text, "123");
    EXPECT_EQ(last.Find(11)->text, "fixed");
    EXPECT_EQ(last.Find(12)->text, "abcd");
    EXPECT_EQ(presenter.Problems(), (Texts{"CT_EDITS: type \"12ab3\" into 10: the field refused \"ab\"",
                                           "CT_EDITS: type \"x\" into 11: the field is read-only",
                                           "CT_EDITS: type \"abcdef\" into 12: the field refused \"ef\""}));
    // Setting text from code reports like typing: update, then change; focus moves notify too.
    Commands edits;
    for (auto c : d.CommandsSent())
        if (c.first == 11 || c.first == 12) edits.push_back(c);
    EXPECT_EQ(edits, (Commands{{11, EN_UPDATE}, {11, EN_CHANGE}, {11, EN_SETFOCUS}, {11, EN_KILLFOCUS},
                               {12, EN_SETFOCUS}, {12, EN_UPDATE}, {12, EN_CHANGE}, {12, EN_KILLFOCUS}}));
}

TEST_F(Controls, ScriptedStepsOnTablesAddressesScrollBarsChecksAndLists) {
    ScopedTemplate t("CT_MIXED",
                     MakeDialog("Mixed", {Control(30, WC_LISTVIEW, "", LVS_REPORT), Control(40, WC_IPADDRESS, ""),
                                          Control(50, "ScrollBar", ""), Control(60, WC_BUTTON, "c", BS_AUTOCHECKBOX),
                                          Control(70, WC_COMBOBOX, "", CBS_DROPDOWNLIST), Control(IDOK, WC_BUTTON, "OK")}));
    TestDialog d;
    Texts events;
    d.handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        auto n = [](auto v) { return std::to_string(v); };
        if (message == WM_INITDIALOG) {
            SendDlgItemMessageA(hwnd, 30, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES);
            char text[] = "row";
            LVITEMA item{};
            item.mask = LVIF_TEXT;
            item.pszText = text;
            for (int i = 0; i < 3; ++i) SendDlgItemMessageA(hwnd, 30, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
            for (const char* s : {"a", "b"}) SendDlgItemMessageA(hwnd, 70, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
            events.clear();
        } else if (message == WM_NOTIFY) {
            auto* h = reinterpret_cast<NMHDR*>(lParam);
            auto* nm = reinterpret_cast<NMLISTVIEW*>(lParam);
            if (h->code == NM_DBLCLK) events.push_back("dblclk " + n(reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem));
            if (h->code == LVN_ITEMCHANGED)
                events.push_back("row " + n(nm->iItem) + " " + n(nm->uOldState) + "->" + n(nm->uNewState));
            if (h->code == IPN_FIELDCHANGED) events.push_back("field " + n(reinterpret_cast<NMIPADDRESS*>(lParam)->iField));
        } else if (message == WM_HSCROLL) {
            events.push_back("hscroll " + n(LOWORD(wParam)) + " " + n(HIWORD(wParam)));
        } else if (message == WM_COMMAND && (LOWORD(wParam) == 60 || LOWORD(wParam) == 70)) {
            events.push_back("command " + n(LOWORD(wParam)) + " " + n(HIWORD(wParam)));
        }
        return FALSE;
    };
    presenter.TickRow(30, 2).DoubleClick(30, -1).DoubleClick(30, 1).TickRow(30, 7);
    presenter.Type(40, "10.0.0.1").Type(40, "10.0.9.1").Type(40, "10.0.0.300").Scroll(50, 42);
    presenter.Check(60).Check(60).Select(70, 1).Select(70, 1).Select(70, 2).Ok();
    EXPECT_EQ(d.Run(t.Name()), IDOK);
    EXPECT_EQ(events, (Texts{"row 2 4096->8192", "dblclk -1", "row 1 4096->4099", "dblclk 1", "field 0", "field 1",
                             "field 2", "field 3", "field 2", "hscroll 4 42", "hscroll 8 0", "command 60 0",
                             "command 70 1"}));
    const DialogState& last = presenter.Dialogs()[0].Last();
    const ControlState* table = last.Find(30);
    ASSERT_EQ(table->rows.size(), 3u);
    EXPECT_TRUE(table->rows[2].checked);
    EXPECT_TRUE(table->rows[1].selected);
    EXPECT_EQ(table->selection, 1) << "the selection mark follows the person's click";
    EXPECT_EQ(last.Find(60)->check, int{BST_CHECKED}) << "checking a checked box leaves it";
    EXPECT_EQ(last.Find(70)->text, "b");
    EXPECT_EQ(presenter.Problems(), (Texts{"CT_MIXED: tick row 7 of 30: no such row or no check boxes",
                                           "CT_MIXED: type \"10.0.0.300\" into 40: not an address",
                                           "CT_MIXED: select entry 2 of 70: no such entry"}));
}
