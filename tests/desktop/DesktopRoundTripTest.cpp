// A person's actions on the GTK widgets reach the dialog as the messages it handles,
// and what the dialog does in answer comes back onto the screen.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "desktop/DialogView.h"
#include "desktop/GtkPresenter.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/GdiObjects.h"
#include "tests/desktop/DesktopTestSupport.h"

namespace {

enum : int {
    kEdit = 100, kEcho, kCheck, kDependent, kRadioA, kRadioB, kList, kCombo, kTable, kAddress, kStartTimer, kWarning,
    kNumber, kAsk, kBrowse
};
constexpr UINT_PTR kTimer = 7;

void Echo(HWND dialog, const std::string& text) { SetDlgItemTextA(dialog, kEcho, text.c_str()); }

std::string TextOf(HWND dialog, int id) {
    char text[128] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// A dialog that answers every kind of control with a line in its echo field.
INT_PTR Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    static HBRUSH warning = CreateSolidBrush(RGB(200, 0, 0));
    switch (message) {
    case WM_INITDIALOG: {
        for (const char* s : {"alpha", "beta", "gamma"}) SendDlgItemMessageA(dialog, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        for (const char* s : {"QPSK", "8PSK"}) SendDlgItemMessageA(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        SendDlgItemMessageA(dialog, kTable, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
        const char* columns[] = {"Name", "MHz"};
        for (int c = 0; c < 2; ++c) {
            LVCOLUMNA column{LVCF_TEXT | LVCF_WIDTH, 0, 60, const_cast<char*>(columns[c]), 0, c};
            SendDlgItemMessageA(dialog, kTable, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
        }
        const char* rows[][2] = {{"Astra", "11494"}, {"Hotbird", "12111"}};
        for (int r = 0; r < 2; ++r) {
            LVITEMA item{LVIF_TEXT, r, 0, 0, 0, const_cast<char*>(rows[r][0]), 0, 0, 0, 0};
            SendDlgItemMessageA(dialog, kTable, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
            item.iSubItem = 1;
            item.pszText = const_cast<char*>(rows[r][1]);
            SendDlgItemMessageA(dialog, kTable, LVM_SETITEMTEXTA, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
        }
        Echo(dialog, "ready");
        return TRUE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        if (id == kEdit && code == EN_CHANGE) {
            std::string text = TextOf(dialog, kEdit);
            for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            Echo(dialog, "typed " + text);
        } else if (id == kCheck && code == BN_CLICKED) {
            const bool on = IsDlgButtonChecked(dialog, kCheck) == BST_CHECKED;
            EnableWindow(GetDlgItem(dialog, kDependent), on);
            Echo(dialog, on ? "check on" : "check off");
        } else if (id == kRadioB && code == BN_CLICKED) {
            Echo(dialog, "radio B");
        } else if (id == kList && code == LBN_SELCHANGE) {
            Echo(dialog, "picked " + std::to_string(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0)));
        } else if (id == kList && code == LBN_DBLCLK) {
            SendDlgItemMessageA(dialog, kList, LB_DELETESTRING, static_cast<WPARAM>(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0)), 0);
            Echo(dialog, "removed");
        } else if (id == kCombo && code == CBN_SELCHANGE) {
            Echo(dialog, "combo " + std::to_string(SendDlgItemMessageA(dialog, kCombo, CB_GETCURSEL, 0, 0)));
        } else if (id == kAddress && code == EN_CHANGE) {
            DWORD address = 0;
            SendDlgItemMessageA(dialog, kAddress, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
            Echo(dialog, "address " + std::to_string(FIRST_IPADDRESS(address)) + "." + std::to_string(FOURTH_IPADDRESS(address)));
        } else if (id == kStartTimer) {
            SetTimer(dialog, kTimer, 100, nullptr);
            Echo(dialog, "waiting");
        } else if (id == kAsk) {
            Echo(dialog, "answer " + std::to_string(MessageBoxA(dialog, "Really?", "Question", MB_YESNO | MB_ICONQUESTION)));
        } else if (id == kBrowse) {
            char file[260] = {};
            OPENFILENAMEA request{};
            request.lStructSize = sizeof request;
            request.hwndOwner = dialog;
            request.lpstrFilter = "All files\0*\0Transport streams\0*.ts;*.mpg\0";
            request.nFilterIndex = 2;
            request.lpstrFile = file;
            request.nMaxFile = sizeof file;
            request.Flags = OFN_FILEMUSTEXIST;
            Echo(dialog, GetOpenFileNameA(&request) ? std::string("chose ") + file : "cancelled");
        } else if (id == IDOK || id == IDCANCEL) {
            EndDialog(dialog, id);
        }
        return TRUE;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom != kTable) return FALSE;
        auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
        if (header->code == LVN_ITEMCHANGED && (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2))
            Echo(dialog, "ticked row " + std::to_string(change->iItem));
        if (header->code == NM_DBLCLK) Echo(dialog, "double row " + std::to_string(reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem));
        return TRUE;
    }
    case WM_TIMER:
        KillTimer(dialog, kTimer);
        Echo(dialog, "timer fired");
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, kWarning)) return FALSE;
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(200, 0, 0));
        return reinterpret_cast<INT_PTR>(warning);
    default: return FALSE;
    }
}

DialogTemplate EveryKind() {
    DialogTemplate t;
    t.caption = "Every kind";
    t.cx = 300;
    t.cy = 200;
    auto c = [](int id, const char* cls, const char* text, short x, short y, short cx, short cy, DWORD style) {
        return ControlTemplate{id, cls, text, x, y, cx, cy, style, false};
    };
    t.controls = {c(kEdit, WC_EDIT, "", 10, 10, 80, 12, ES_AUTOHSCROLL), c(kEcho, WC_STATIC, "", 100, 10, 190, 10, 0),
                  c(kCheck, WC_BUTTON, "Enable", 10, 28, 60, 10, BS_AUTOCHECKBOX),
                  c(kDependent, WC_EDIT, "", 80, 26, 60, 12, WS_DISABLED),
                  c(kRadioA, WC_BUTTON, "A", 150, 28, 30, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  c(kRadioB, WC_BUTTON, "B", 185, 28, 30, 10, BS_AUTORADIOBUTTON),
                  c(kList, WC_LISTBOX, "", 10, 44, 80, 50, LBS_NOTIFY | WS_GROUP),
                  c(kCombo, WC_COMBOBOX, "", 100, 44, 60, 60, CBS_DROPDOWNLIST),
                  c(kTable, WC_LISTVIEW, "", 170, 44, 120, 60, LVS_REPORT),
                  c(kAddress, WC_IPADDRESS, "", 100, 64, 65, 12, 0),
                  c(kNumber, WC_EDIT, "", 100, 82, 40, 12, ES_NUMBER),
                  c(kStartTimer, WC_BUTTON, "Timer", 10, 110, 50, 14, BS_PUSHBUTTON),
                  c(kAsk, WC_BUTTON, "Ask", 70, 110, 50, 14, BS_PUSHBUTTON),
                  c(kWarning, WC_STATIC, "Warning", 130, 112, 60, 10, 0),
                  c(kBrowse, WC_BUTTON, "Browse", 10, 130, 50, 14, BS_PUSHBUTTON),
                  c(IDOK, WC_BUTTON, "OK", 180, 180, 50, 14, BS_DEFPUSHBUTTON),
                  c(IDCANCEL, WC_BUTTON, "Cancel", 240, 180, 50, 14, BS_PUSHBUTTON)};
    return t;
}

GtkWidget* Inner(DialogView& view, int id) {
    ControlWidget* control = view.FindById(id);
    return control ? control->Inner() : nullptr;
}

GtkListBoxRow* Row(DialogView& view, int id, int index) {
    return gtk_list_box_get_row_at_index(GTK_LIST_BOX(Inner(view, id)), index);
}

GtkWidget* FindButton(GtkWidget* root, const std::string& label) {
    if (GTK_IS_BUTTON(root) && gtk_button_get_label(GTK_BUTTON(root)) && label == gtk_button_get_label(GTK_BUTTON(root)))
        return root;
    for (GtkWidget* c = gtk_widget_get_first_child(root); c; c = gtk_widget_get_next_sibling(c))
        if (GtkWidget* found = FindButton(c, label)) return found;
    return nullptr;
}

struct Action {
    const char* what;
    std::function<void(DialogView&)> act;
    std::string echo;  // what the dialog says in answer, on the screen
    std::function<bool(DialogView&)> shows = [](DialogView&) { return true; };
};

class DesktopRoundTrip : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(GtkPresenter::OpenDisplay(), ""); }

    // Shows the dialog, takes the actions in order, then ends it with the last one.
    INT_PTR Run(const std::vector<Action>& actions) {
        presenter_.OnShown([&](GtkWindow* window, const std::string& name, DialogView* view) {
            if (!view) return answer_(window, name);
            for (const Action& a : actions) {
                a.act(*view);
                EXPECT_TRUE(RunUntil([&] {
                    const char* shown = gtk_label_get_text(GTK_LABEL(Inner(*view, kEcho)));
                    return a.echo.empty() || (TextOf(view->Dialog(), kEcho) == a.echo && a.echo == shown);
                })) << a.what << ": the dialog said \"" << TextOf(view->Dialog(), kEcho) << "\"";
                EXPECT_TRUE(RunUntil([&] { return a.shows(*view); })) << a.what << ": not on the screen";
            }
        });
        DialogTemplate t = EveryKind();
        return DialogBoxIndirectParamA(nullptr, &t, nullptr, Proc, 0);
    }

    GtkPresenter presenter_;
    ScopedPresenter installed_{&presenter_};
    std::function<void(GtkWindow*, const std::string&)> answer_ = [](GtkWindow*, const std::string&) {};
};

TEST_F(DesktopRoundTrip, EveryControlKindTakesAPersonsActionAndShowsTheAnswer) {
    auto entryText = [](DialogView& v, int id) { return std::string(gtk_editable_get_text(GTK_EDITABLE(Inner(v, id)))); };
    const std::vector<Action> actions = {
        {"typing", [](DialogView& v) { gtk_editable_set_text(GTK_EDITABLE(Inner(v, kEdit)), "abc"); }, "typed ABC"},
        {"a numeric field refuses letters",
         [](DialogView& v) { gtk_editable_set_text(GTK_EDITABLE(Inner(v, kNumber)), "12a"); }, "",
         [&](DialogView& v) { return entryText(v, kNumber) == "12"; }},
        {"ticking enables the field it governs",
         [](DialogView& v) { gtk_check_button_set_active(GTK_CHECK_BUTTON(Inner(v, kCheck)), TRUE); }, "check on",
         [](DialogView& v) { return gtk_widget_get_sensitive(v.FindById(kDependent)->Outer()); }},
        {"a radio button", [](DialogView& v) { gtk_check_button_set_active(GTK_CHECK_BUTTON(Inner(v, kRadioB)), TRUE); },
         "radio B", [](DialogView& v) { return !gtk_check_button_get_active(GTK_CHECK_BUTTON(Inner(v, kRadioA))); }},
        {"choosing in a list", [](DialogView& v) { gtk_list_box_select_row(GTK_LIST_BOX(Inner(v, kList)), Row(v, kList, 1)); },
         "picked 1"},
        {"double-clicking a list entry removes it",
         [](DialogView& v) { g_signal_emit_by_name(Row(v, kList, 1), "activate"); }, "removed",
         [](DialogView& v) { return Row(v, kList, 2) == nullptr && Row(v, kList, 1) != nullptr; }},
        {"a drop-down list", [](DialogView& v) { gtk_drop_down_set_selected(GTK_DROP_DOWN(Inner(v, kCombo)), 1); },
         "combo 1"},
        {"ticking a table row",
         [](DialogView& v) {
             GtkWidget* tick = gtk_widget_get_first_child(gtk_list_box_row_get_child(Row(v, kTable, 1)));
             gtk_check_button_set_active(GTK_CHECK_BUTTON(tick), TRUE);
         },
         "ticked row 1"},
        {"double-clicking a table row", [](DialogView& v) { g_signal_emit_by_name(Row(v, kTable, 0), "activate"); },
         "double row 0"},
        {"an address typed part by part",
         [](DialogView& v) {
             for (const std::string typed : {"1", "10.", "10.1.2", "10.1.2.3"}) {
                 gtk_editable_set_text(GTK_EDITABLE(Inner(v, kAddress)), typed.c_str());
                 Settle();
                 EXPECT_EQ(gtk_editable_get_text(GTK_EDITABLE(Inner(v, kAddress))), typed) << "half an address stays";
             }
         },
         "address 10.3", [&](DialogView& v) { return entryText(v, kAddress) == "10.1.2.3"; }},
        {"a timer fires in real time", [](DialogView& v) { g_signal_emit_by_name(Inner(v, kStartTimer), "clicked"); },
         "timer fired"},
        {"the dialog's colours", [](DialogView&) {}, "",
         [](DialogView& v) {
             GtkWidget* warning = v.FindById(kWarning)->Outer();  // away from the text
             return PixelNear(PixelAt(warning, gtk_widget_get_width(warning) - 2, gtk_widget_get_height(warning) - 2), 0xC80000u);
         }},
        {"OK", [](DialogView& v) { g_signal_emit_by_name(Inner(v, IDOK), "clicked"); }, ""},
    };
    EXPECT_EQ(Run(actions), IDOK);
}

TEST_F(DesktopRoundTrip, MessageBoxAnswersWithTheButtonPressedAndClosingCancels) {
    answer_ = [](GtkWindow*, const std::string& caption) {
        EXPECT_EQ(caption, "Question");
        GtkWidget* no = nullptr;
        for (GtkWidget* w : Toplevels()) no = no ? no : FindButton(w, "_No");
        ASSERT_NE(no, nullptr);
        g_signal_emit_by_name(no, "clicked");
    };
    const std::vector<Action> actions = {
        {"a question", [](DialogView& v) { g_signal_emit_by_name(Inner(v, kAsk), "clicked"); }, "answer " + std::to_string(IDNO)},
        {"closing the window", [](DialogView& v) { gtk_window_close(v.Window()); }, ""},
    };
    EXPECT_EQ(Run(actions), IDCANCEL);
}

TEST_F(DesktopRoundTrip, OpenFileDialogOffersTheFiltersAndGivesThePathChosen) {
    const std::string path = testing::TempDir() + "picked.ts";
    std::fclose(std::fopen(path.c_str(), "w"));
    int asked = 0;
    answer_ = [&](GtkWindow* window, const std::string& name) {
        ASSERT_EQ(name, "open-file");
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(window);
        GtkFileFilter* chosen = gtk_file_chooser_get_filter(chooser);
        EXPECT_STREQ(chosen ? gtk_file_filter_get_name(chosen) : "", "Transport streams") << "the request's filter index";
        if (++asked == 1) {
            GFile* file = g_file_new_for_path(path.c_str());
            gtk_file_chooser_set_file(chooser, file, nullptr);
            g_object_unref(file);
            // The chooser takes the file once it has read the folder.
            EXPECT_TRUE(RunUntil([&] {
                GFile* selected = gtk_file_chooser_get_file(chooser);
                if (selected) g_object_unref(selected);
                return selected != nullptr;
            }));
            gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_ACCEPT);
        } else {
            gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_CANCEL);
        }
        G_GNUC_END_IGNORE_DEPRECATIONS
    };
    auto browse = [](DialogView& v) { g_signal_emit_by_name(Inner(v, kBrowse), "clicked"); };
    const std::vector<Action> actions = {
        {"choosing a file", browse, "chose " + path},
        {"cancelling", browse, "cancelled"},
        {"Cancel", [](DialogView& v) { g_signal_emit_by_name(Inner(v, IDCANCEL), "clicked"); }, ""},
    };
    EXPECT_EQ(Run(actions), IDCANCEL);
    EXPECT_EQ(asked, 2);
    std::remove(path.c_str());
}

}  // namespace
