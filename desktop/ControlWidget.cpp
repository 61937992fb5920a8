#include "desktop/ControlWidget.h"

#include "desktop/DialogView.h"
#include "platform/ui/ButtonControl.h"
#include "platform/ui/GdiObjects.h"
#include "platform/ui/ListViewControl.h"
#include "platform/ui/UserAction.h"

namespace {

// The width a table column takes: its widest text at the dialog font's average
// character width, plus a margin.
constexpr int kColumnMargin = 12;

int RowIndex(GtkListBoxRow* row) { return row ? gtk_list_box_row_get_index(row) : -1; }

void ClearList(GtkListBox* list) {
    while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(list))) gtk_list_box_remove(list, child);
}

GtkWidget* Label(const std::string& text, float xalign) {
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), xalign);
    return label;
}

// Mnemonic markers show as underlines in GTK; "&&" is a plain ampersand.
std::string Mnemonic(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            } else {
                out += '_';
            }
        } else if (text[i] == '_') {
            out += "__";
        } else {
            out += text[i];
        }
    }
    return out;
}

// A caption longer than its button ends in an ellipsis rather than losing both ends.
void SetButtonCaption(GtkWidget* button, const std::string& text) {
    gtk_button_set_label(GTK_BUTTON(button), Mnemonic(text).c_str());
    gtk_button_set_use_underline(GTK_BUTTON(button), TRUE);
    if (GtkWidget* label = gtk_button_get_child(GTK_BUTTON(button)); label && GTK_IS_LABEL(label))
        gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
}

}  // namespace

std::unique_ptr<ControlWidget> ControlWidget::Create(Window* control, DialogView* view) {
    std::unique_ptr<ControlWidget> widget(new ControlWidget(control, view));
    widget->Build(control);
    g_object_ref_sink(widget->outer_);
    return widget;
}

ControlWidget::ControlWidget(Window* control, DialogView* view)
    : view_(view), handle_(control->Handle()), kind_(control->GetKind()), style_(control->Style()),
      styleClass_("kestrel-control-" + std::to_string(reinterpret_cast<uintptr_t>(control->Handle()))) {}

ControlWidget::~ControlWidget() {
    // Signals must not reach a widget record that is gone while GTK still holds the widget.
    g_signal_handlers_disconnect_matched(outer_, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, this);
    if (inner_ != outer_) g_signal_handlers_disconnect_matched(inner_, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, this);
    g_object_unref(outer_);
}

void ControlWidget::Build(Window* control) {
    switch (kind_) {
    case Window::Kind::Button: {
        auto* button = static_cast<ButtonControl*>(control);
        if (button->Type() == BS_GROUPBOX) {
            inner_ = gtk_frame_new(control->Text().c_str());
            frames_ = true;
        } else if (button->HasCheck()) {
            inner_ = gtk_check_button_new_with_mnemonic(Mnemonic(control->Text()).c_str());
            checkable_ = true;
            radio_ = button->IsRadio();
            g_signal_connect(inner_, "toggled", G_CALLBACK(OnToggled), this);
            // Return on a check box or radio button confirms the dialog, as on the desktop,
            // instead of ticking it.
            GtkEventController* keys = gtk_shortcut_controller_new();
            gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
            gtk_shortcut_controller_add_shortcut(
                GTK_SHORTCUT_CONTROLLER(keys),
                gtk_shortcut_new(gtk_alternative_trigger_new(gtk_keyval_trigger_new(GDK_KEY_Return, static_cast<GdkModifierType>(0)),
                                                             gtk_keyval_trigger_new(GDK_KEY_KP_Enter, static_cast<GdkModifierType>(0))),
                                 gtk_named_action_new("default.activate")));
            gtk_widget_add_controller(inner_, keys);
        } else {
            inner_ = gtk_button_new();
            SetButtonCaption(inner_, control->Text());
            if (button->Type() == BS_DEFPUSHBUTTON) gtk_widget_add_css_class(inner_, "suggested-action");
            g_signal_connect(inner_, "clicked", G_CALLBACK(OnClicked), this);
        }
        outer_ = inner_;
        break;
    }
    case Window::Kind::Edit:
    case Window::Kind::IpAddress:
        inner_ = outer_ = gtk_entry_new();
        // Return in a field confirms the dialog with its default button.
        gtk_entry_set_activates_default(GTK_ENTRY(inner_), TRUE);
        if (kind_ == Window::Kind::IpAddress) gtk_entry_set_placeholder_text(GTK_ENTRY(inner_), "   .   .   .");
        g_signal_connect(inner_, "changed", G_CALLBACK(OnChanged), this);
        break;
    case Window::Kind::ComboBox:
        inner_ = outer_ = gtk_drop_down_new(G_LIST_MODEL(gtk_string_list_new(nullptr)), nullptr);
        g_signal_connect(inner_, "notify::selected", G_CALLBACK(OnDropDownSelected), this);
        break;
    case Window::Kind::ListBox:
    case Window::Kind::ListView: {
        inner_ = gtk_list_box_new();
        gtk_list_box_set_activate_on_single_click(GTK_LIST_BOX(inner_), FALSE);
        g_signal_connect(inner_, "row-selected", G_CALLBACK(OnRowSelected), this);
        g_signal_connect(inner_, "row-activated", G_CALLBACK(OnRowActivated), this);
        GtkWidget* scrolled = gtk_scrolled_window_new();
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), inner_);
        gtk_widget_set_vexpand(scrolled, TRUE);
        outer_ = scrolled;
        if (kind_ == Window::Kind::ListView) {
            tableChecks_ = static_cast<ListViewControl*>(control)->HasCheckBoxes();
            // A double click where no row is reaches the dialog too.
            GtkGesture* press = gtk_gesture_click_new();
            g_signal_connect(press, "pressed", G_CALLBACK(OnListPressed), this);
            gtk_widget_add_controller(inner_, GTK_EVENT_CONTROLLER(press));
            header_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
            gtk_widget_add_css_class(header_, "kestrel-table-header");
            outer_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
            gtk_box_append(GTK_BOX(outer_), header_);
            gtk_box_append(GTK_BOX(outer_), scrolled);
        }
        gtk_widget_add_css_class(outer_, "kestrel-list");
        break;
    }
    case Window::Kind::Tab:
        inner_ = outer_ = gtk_notebook_new();
        frames_ = true;
        g_signal_connect(inner_, "switch-page", G_CALLBACK(OnSwitchPage), this);
        break;
    case Window::Kind::Static:
        if ((style_ & 0x1F) == SS_BITMAP || (style_ & 0x1F) == SS_ICON) {
            // Pictures are named resources without pixels on this platform: the frame
            // shows where the picture goes.
            inner_ = outer_ = gtk_frame_new(nullptr);
            gtk_widget_add_css_class(outer_, "kestrel-picture");
            gtk_widget_set_tooltip_text(outer_, control->Text().c_str());
        } else {
            inner_ = outer_ = Label(control->Text(), 0.0f);
            gtk_label_set_yalign(GTK_LABEL(inner_), 0.0f);
            // Text wraps where the template left room for more than one line.
            if (control->Rect().bottom - control->Rect().top >= 2 * kDialogCharHeight) {
                gtk_label_set_wrap(GTK_LABEL(inner_), TRUE);
                gtk_label_set_wrap_mode(GTK_LABEL(inner_), PANGO_WRAP_WORD_CHAR);
            }
        }
        break;
    default:
        inner_ = outer_ = gtk_frame_new(nullptr);
        break;
    }
    gtk_widget_add_css_class(outer_, styleClass_.c_str());
    if (inner_ != outer_) gtk_widget_add_css_class(inner_, styleClass_.c_str());
    gtk_widget_set_overflow(outer_, GTK_OVERFLOW_HIDDEN);
}

void ControlWidget::Deliver(Action action) { view_->Deliver(handle_, std::move(action)); }

void ControlWidget::Refresh(const Window* control, bool force) {
    ControlState state;
    control->Describe(state);
    const bool first = !seen_ || force;
    auto changed = [&](auto member) { return first || (*seen_).*member != state.*member; };

    switch (kind_) {
    case Window::Kind::Button:
        if (frames_) {
            if (changed(&ControlState::text)) gtk_frame_set_label(GTK_FRAME(inner_), state.text.c_str());
        } else if (checkable_) {
            if (changed(&ControlState::text))
                gtk_check_button_set_label(GTK_CHECK_BUTTON(inner_), Mnemonic(state.text).c_str());
            if (changed(&ControlState::check))
                gtk_check_button_set_active(GTK_CHECK_BUTTON(inner_), state.check == BST_CHECKED);
            gtk_check_button_set_inconsistent(GTK_CHECK_BUTTON(inner_), state.check == BST_INDETERMINATE);
        } else if (changed(&ControlState::text)) {
            SetButtonCaption(inner_, state.text);
        }
        break;
    case Window::Kind::Edit:
    case Window::Kind::IpAddress:
        if (changed(&ControlState::text) && state.text != gtk_editable_get_text(GTK_EDITABLE(inner_)))
            gtk_editable_set_text(GTK_EDITABLE(inner_), state.text.c_str());
        gtk_editable_set_editable(GTK_EDITABLE(inner_), !(style_ & ES_READONLY));
        break;
    case Window::Kind::ComboBox: {
        auto* model = GTK_STRING_LIST(gtk_drop_down_get_model(GTK_DROP_DOWN(inner_)));
        if (changed(&ControlState::items)) {
            std::vector<const char*> texts;
            for (const std::string& item : state.items) texts.push_back(item.c_str());
            texts.push_back(nullptr);
            gtk_string_list_splice(model, 0, g_list_model_get_n_items(G_LIST_MODEL(model)), texts.data());
        }
        const guint wanted = state.selection < 0 ? GTK_INVALID_LIST_POSITION : static_cast<guint>(state.selection);
        if (gtk_drop_down_get_selected(GTK_DROP_DOWN(inner_)) != wanted)
            gtk_drop_down_set_selected(GTK_DROP_DOWN(inner_), wanted);
        break;
    }
    case Window::Kind::ListBox:
    case Window::Kind::ListView:
        RefreshRows(state, changed(&ControlState::items) || changed(&ControlState::columns) ||
                               (kind_ == Window::Kind::ListView && (!seen_ || seen_->rows.size() != state.rows.size())) ||
                               force);
        break;
    case Window::Kind::Tab: {
        GtkNotebook* notebook = GTK_NOTEBOOK(inner_);
        if (changed(&ControlState::items)) {
            while (gtk_notebook_get_n_pages(notebook) > 0) gtk_notebook_remove_page(notebook, -1);
            for (const std::string& title : state.items)
                gtk_notebook_append_page(notebook, gtk_box_new(GTK_ORIENTATION_VERTICAL, 0), Label(title, 0.5f));
        }
        if (state.selection >= 0 && gtk_notebook_get_current_page(notebook) != state.selection)
            gtk_notebook_set_current_page(notebook, state.selection);
        break;
    }
    case Window::Kind::Static:
        if (GTK_IS_LABEL(inner_) && changed(&ControlState::text)) gtk_label_set_text(GTK_LABEL(inner_), state.text.c_str());
        break;
    default: break;
    }
    seen_ = std::move(state);
}

void ControlWidget::RefreshRows(const ControlState& state, bool rebuild) {
    GtkListBox* list = GTK_LIST_BOX(inner_);
    if (kind_ == Window::Kind::ListBox) {
        if (rebuild) {
            ClearList(list);
            for (const std::string& item : state.items) gtk_list_box_append(list, Label(item, 0.0f));
        }
    } else if (rebuild) {
        RebuildTableRows(state);
    } else {
        for (size_t i = 0; i < state.rows.size(); ++i) {
            GtkListBoxRow* row = gtk_list_box_get_row_at_index(list, static_cast<int>(i));
            GtkWidget* cells = row ? gtk_list_box_row_get_child(row) : nullptr;
            GtkWidget* first = cells ? gtk_widget_get_first_child(cells) : nullptr;
            if (tableChecks_ && first && GTK_IS_CHECK_BUTTON(first))
                gtk_check_button_set_active(GTK_CHECK_BUTTON(first), state.rows[i].checked);
        }
        // Cell texts may change without rows coming or going.
        if (seen_ && seen_->rows.size() == state.rows.size()) {
            for (size_t i = 0; i < state.rows.size(); ++i) {
                if (seen_->rows[i].cells != state.rows[i].cells) {
                    RebuildTableRows(state);
                    break;
                }
            }
        }
    }
    int selected = state.selection;
    if (kind_ == Window::Kind::ListView) {
        selected = -1;
        for (size_t i = 0; i < state.rows.size() && selected < 0; ++i)
            if (state.rows[i].selected) selected = static_cast<int>(i);
    }
    GtkListBoxRow* current = gtk_list_box_get_selected_row(list);
    if (RowIndex(current) != selected) {
        if (selected < 0)
            gtk_list_box_unselect_all(list);
        else
            gtk_list_box_select_row(list, gtk_list_box_get_row_at_index(list, selected));
    }
}

void ControlWidget::RebuildTableRows(const ControlState& state) {
    GtkListBox* list = GTK_LIST_BOX(inner_);
    ClearList(list);
    std::vector<size_t> widths(state.columns.size(), 0);
    for (size_t c = 0; c < widths.size(); ++c) {
        widths[c] = state.columns[c].size();
        for (const ListRowState& row : state.rows)
            if (c < row.cells.size()) widths[c] = std::max(widths[c], row.cells[c].size());
    }
    auto cellWidth = [&](size_t c) { return static_cast<int>(widths[c]) * kDialogCharWidth + kColumnMargin; };

    while (GtkWidget* child = gtk_widget_get_first_child(header_)) gtk_box_remove(GTK_BOX(header_), child);
    if (tableChecks_) {
        GtkWidget* spacer = gtk_check_button_new();
        gtk_widget_set_opacity(spacer, 0.0);
        gtk_box_append(GTK_BOX(header_), spacer);
    }
    for (size_t c = 0; c < state.columns.size(); ++c) {
        GtkWidget* title = Label(state.columns[c], 0.0f);
        gtk_widget_set_size_request(title, cellWidth(c), -1);
        gtk_box_append(GTK_BOX(header_), title);
    }
    for (const ListRowState& row : state.rows) {
        GtkWidget* cells = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
        if (tableChecks_) {
            GtkWidget* tick = gtk_check_button_new();
            gtk_check_button_set_active(GTK_CHECK_BUTTON(tick), row.checked);
            g_signal_connect(tick, "toggled", G_CALLBACK(OnRowTicked), this);
            gtk_box_append(GTK_BOX(cells), tick);
        }
        for (size_t c = 0; c < state.columns.size(); ++c) {
            GtkWidget* cell = Label(c < row.cells.size() ? row.cells[c] : "", 0.0f);
            gtk_widget_set_size_request(cell, cellWidth(c), -1);
            gtk_box_append(GTK_BOX(cells), cell);
        }
        gtk_list_box_append(list, cells);
    }
}

void ControlWidget::OnClicked(GtkButton*, ControlWidget* self) { self->Deliver(UserAction::Click); }

void ControlWidget::OnToggled(GtkCheckButton* button, ControlWidget* self) {
    // A radio button that another one's activation cleared was not clicked.
    if (self->radio_ && !gtk_check_button_get_active(button)) return;
    self->Deliver(UserAction::Click);
}

void ControlWidget::OnChanged(GtkEditable* editable, ControlWidget* self) {
    std::string text = gtk_editable_get_text(editable);
    self->Deliver([text](Window* control) { return UserAction::Type(control, text); });
}

void ControlWidget::OnDropDownSelected(GObject* dropDown, GParamSpec*, ControlWidget* self) {
    const guint selected = gtk_drop_down_get_selected(GTK_DROP_DOWN(dropDown));
    if (selected == GTK_INVALID_LIST_POSITION) return;
    self->Deliver([selected](Window* control) { return UserAction::Select(control, static_cast<int>(selected)); });
}

void ControlWidget::OnRowSelected(GtkListBox*, GtkListBoxRow* row, ControlWidget* self) {
    if (!row) return;
    const int index = RowIndex(row);
    self->Deliver([index](Window* control) { return UserAction::Select(control, index); });
}

void ControlWidget::OnRowActivated(GtkListBox*, GtkListBoxRow* row, ControlWidget* self) {
    const int index = RowIndex(row);
    self->Deliver([index](Window* control) { return UserAction::DoubleClick(control, index); });
}

void ControlWidget::OnListPressed(GtkGestureClick*, int presses, double, double y, ControlWidget* self) {
    if (presses != 2 || gtk_list_box_get_row_at_y(GTK_LIST_BOX(self->inner_), static_cast<int>(y))) return;
    self->Deliver([](Window* control) { return UserAction::DoubleClick(control, -1); });
}

void ControlWidget::OnRowTicked(GtkCheckButton* button, ControlWidget* self) {
    GtkWidget* row = gtk_widget_get_ancestor(GTK_WIDGET(button), GTK_TYPE_LIST_BOX_ROW);
    const int index = RowIndex(row ? GTK_LIST_BOX_ROW(row) : nullptr);
    self->Deliver([index](Window* control) { return UserAction::TickRow(control, index); });
}

void ControlWidget::OnSwitchPage(GtkNotebook*, GtkWidget*, guint index, ControlWidget* self) {
    self->Deliver([index](Window* control) { return UserAction::Select(control, static_cast<int>(index)); });
}
