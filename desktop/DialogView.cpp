#include "desktop/DialogView.h"

#include <cstdio>

#include "desktop/GtkPresenter.h"
#include "platform/ui/ButtonControl.h"
#include "platform/ui/DialogWindow.h"
#include "platform/ui/GdiObjects.h"
#include "platform/ui/UserAction.h"

namespace {

constexpr const char* kRectKey = "kestrel-rect";
constexpr const char* kViewKey = "kestrel-view";
// A combo box's template height includes its dropped-down list; closed it is one
// field high, as on the desktop (14 dialog units).
constexpr int kClosedComboHeight = 14 * kDialogCharHeight / 8;

std::string CssColour(COLORREF c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

// Enabled as far as the dialog goes: the dialog itself is disabled while a nested one
// is open, which GTK's modality already shows.
bool EnabledWithin(const Window* control) {
    for (const Window* w = control; w && w->Parent(); w = w->Parent())
        if (!w->Enabled()) return false;
    return true;
}

}  // namespace

DialogView::DialogView(GtkPresenter* presenter, HWND dialog, std::string name, GtkWindow* owner)
    : presenter_(presenter), dialog_(dialog), name_(std::move(name)) {
    ::Window* root = ::Window::FromHandle(dialog);
    width_ = root->Rect().right - root->Rect().left;
    height_ = root->Rect().bottom - root->Rect().top;

    window_ = GTK_WINDOW(gtk_window_new());
    g_object_ref_sink(window_);
    gtk_widget_add_css_class(GTK_WIDGET(window_), "kestrel-dialog");
    gtk_window_set_title(window_, root->Text().c_str());
    gtk_window_set_modal(window_, TRUE);
    gtk_window_set_resizable(window_, FALSE);
    if (owner) gtk_window_set_transient_for(window_, owner);
    g_signal_connect(window_, "close-request", G_CALLBACK(OnCloseRequest), this);
    // Escape closes a dialog as its title bar's button does: Cancel, unless disabled.
    GtkEventController* keys = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(keys),
        gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, static_cast<GdkModifierType>(0)),
                         gtk_callback_action_new(OnEscape, this, nullptr)));
    gtk_widget_add_controller(GTK_WIDGET(window_), keys);

    content_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_add_css_class(content_, "kestrel-dialog-face");
    g_object_set_data(G_OBJECT(content_), kViewKey, this);
    gtk_widget_set_layout_manager(content_, gtk_custom_layout_new(nullptr, Measure, Allocate));
    gtk_window_set_child(window_, content_);

    colours_ = gtk_css_provider_new();
    gtk_style_context_add_provider_for_display(gtk_widget_get_display(GTK_WIDGET(window_)),
                                               GTK_STYLE_PROVIDER(colours_),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
    Refresh();
    gtk_window_present(window_);
}

DialogView::~DialogView() {
    gtk_style_context_remove_provider_for_display(gtk_widget_get_display(GTK_WIDGET(window_)),
                                                  GTK_STYLE_PROVIDER(colours_));
    g_object_unref(colours_);
    g_signal_handlers_disconnect_by_data(window_, this);
    for (auto& [handle, widget] : controls_) gtk_widget_unparent(widget->Outer());
    controls_.clear();
    gtk_window_destroy(window_);
    g_object_unref(window_);
}

ControlWidget* DialogView::Find(HWND control) const {
    auto it = controls_.find(control);
    return it == controls_.end() ? nullptr : it->second.get();
}

ControlWidget* DialogView::FindById(int id) const {
    ::Window* root = ::Window::FromHandle(dialog_);
    ::Window* control = root ? UserAction::Find(root, id) : nullptr;
    return control ? Find(control->Handle()) : nullptr;
}

void DialogView::Refresh() {
    ::Window* root = ::Window::FromHandle(dialog_);
    if (!root) return;
    writing_ = true;
    if (root->Text() != gtk_window_get_title(window_)) gtk_window_set_title(window_, root->Text().c_str());
    std::set<HWND> alive;
    std::string css;
    Walk(root, 0, 0, alive, css);
    for (auto it = controls_.begin(); it != controls_.end();) {
        if (alive.count(it->first)) {
            ++it;
        } else {
            gtk_widget_unparent(it->second->Outer());
            it = controls_.erase(it);
        }
    }
    resync_.clear();
    ControlWidget* chosen = DefaultButton(root);
    GtkWidget* wanted = chosen ? chosen->Inner() : nullptr;
    if (gtk_window_get_default_widget(window_) != wanted) gtk_window_set_default_widget(window_, wanted);
    ApplyStyle(css);
    writing_ = false;
}

void DialogView::Walk(::Window* parent, int originX, int originY, std::set<HWND>& alive, std::string& css) {
    ControlWidget* groupLeader = nullptr;
    for (const auto& child : parent->Children()) {
        ::Window* w = child.get();
        const int x = originX + w->Rect().left;
        const int y = originY + w->Rect().top;
        if (w->GetKind() == ::Window::Kind::Dialog) {
            Walk(w, x, y, alive, css);
            continue;
        }
        alive.insert(w->Handle());
        ControlWidget* widget = Find(w->Handle());
        bool force = resync_.count(w->Handle()) != 0;
        const bool created = !widget;
        if (created) {
            auto made = ControlWidget::Create(w, this);
            widget = made.get();
            controls_.emplace(w->Handle(), std::move(made));
            gtk_widget_set_parent(widget->Outer(), content_);
            force = true;
        }
        // Radio buttons from one WS_GROUP control to the next belong together.
        if (w->Style() & WS_GROUP) groupLeader = nullptr;
        if (widget->Radio()) {
            if (!groupLeader)
                groupLeader = widget;
            else if (created)
                gtk_check_button_set_group(GTK_CHECK_BUTTON(widget->Inner()), GTK_CHECK_BUTTON(groupLeader->Inner()));
        }
        Place(*widget, w, x, y);
        gtk_widget_set_visible(widget->Outer(), w->ShownOnScreen());
        gtk_widget_set_sensitive(widget->Outer(), EnabledWithin(w));
        widget->Refresh(w, force);
        if (const auto& painted = w->Painted(); painted && painted->custom) {
            css += "." + widget->StyleClass() + " { color: " + CssColour(painted->text) +
                   "; background-color: " + CssColour(painted->background) + "; background-image: none; }\n";
        }
    }
}

// Return presses the dialog's own default push button, not one of its pages'.
ControlWidget* DialogView::DefaultButton(::Window* root) const {
    for (const auto& child : root->Children()) {
        if (child->GetKind() == ::Window::Kind::Button && child->ShownOnScreen() &&
            static_cast<const ButtonControl*>(child.get())->Type() == BS_DEFPUSHBUTTON)
            return Find(child->Handle());
    }
    return nullptr;
}

void DialogView::Place(ControlWidget& widget, const ::Window* control, int x, int y) {
    GdkRectangle rect{x, y, control->Rect().right - control->Rect().left, control->Rect().bottom - control->Rect().top};
    if (control->GetKind() == ::Window::Kind::ComboBox) rect.height = std::min(rect.height, kClosedComboHeight);
    auto* placed = static_cast<GdkRectangle*>(g_object_get_data(G_OBJECT(widget.Outer()), kRectKey));
    if (placed && gdk_rectangle_equal(placed, &rect)) return;
    auto* stored = g_new(GdkRectangle, 1);
    *stored = rect;
    g_object_set_data_full(G_OBJECT(widget.Outer()), kRectKey, stored, g_free);
    gtk_widget_queue_allocate(content_);
}

void DialogView::ApplyStyle(const std::string& css) {
    if (css == css_) return;
    css_ = css;
    gtk_css_provider_load_from_data(colours_, css_.c_str(), -1);
}

void DialogView::Deliver(HWND control, const ControlWidget::Action& action) {
    if (writing_) return;
    ::Window* w = ::Window::FromHandle(control);
    if (!w) return;
    const bool address = w->GetKind() == ::Window::Kind::IpAddress;  // w may be gone after the action
    std::string problem = UserAction::Reach(w);
    if (problem.empty()) {
        if (::Window* reached = ::Window::FromHandle(control)) problem = action(reached);
    }
    // The widget shows the runtime's state again, so that what a control refused goes
    // away; only an address being typed stays as it is until it is one.
    if (problem.empty() || !address) resync_.insert(control);
    presenter_->AfterAction();
}

void DialogView::Measure(GtkWidget* widget, GtkOrientation orientation, int, int* minimum, int* natural, int*, int*) {
    auto* self = static_cast<DialogView*>(g_object_get_data(G_OBJECT(widget), kViewKey));
    *minimum = *natural = orientation == GTK_ORIENTATION_HORIZONTAL ? self->width_ : self->height_;
}

// Every control gets exactly its rectangle: what does not fit is clipped, never moved.
void DialogView::Allocate(GtkWidget* widget, int, int, int) {
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
        auto* rect = static_cast<GdkRectangle*>(g_object_get_data(G_OBJECT(child), kRectKey));
        if (!rect || !gtk_widget_should_layout(child)) continue;
        int ignored = 0;
        gtk_widget_measure(child, GTK_ORIENTATION_HORIZONTAL, -1, &ignored, &ignored, nullptr, nullptr);
        gtk_widget_measure(child, GTK_ORIENTATION_VERTICAL, rect->width, &ignored, &ignored, nullptr, nullptr);
        gtk_widget_size_allocate(child, rect, -1);
    }
}

gboolean DialogView::OnEscape(GtkWidget* window, GVariant*, gpointer self) {
    OnCloseRequest(GTK_WINDOW(window), static_cast<DialogView*>(self));
    return TRUE;
}

gboolean DialogView::OnCloseRequest(GtkWindow*, DialogView* self) {
    if (!self->writing_) {
        UserAction::Close(self->dialog_);
        self->presenter_->AfterAction();
    }
    // The window goes when the runtime says the dialog has ended.
    return TRUE;
}
