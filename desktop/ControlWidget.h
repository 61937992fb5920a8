#pragma once
// The GTK widget that shows one runtime control. It is refreshed from what the
// runtime holds, and turns what a person does to it into the same action a scripted
// step would take, handed to its view for delivery.
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Window.h"

class DialogView;

class ControlWidget {
public:
    using Action = std::function<std::string(Window* control)>;

    static std::unique_ptr<ControlWidget> Create(Window* control, DialogView* view);
    ~ControlWidget();
    ControlWidget(const ControlWidget&) = delete;
    ControlWidget& operator=(const ControlWidget&) = delete;

    HWND Handle() const { return handle_; }
    // What the layout places; the widget with the state is inside it.
    GtkWidget* Outer() const { return outer_; }
    GtkWidget* Inner() const { return inner_; }
    // Frames that deliberately enclose other controls (tab strips, group boxes).
    bool Frames() const { return frames_; }
    bool Radio() const { return radio_; }
    // The class that carries this control's colours in the view's style sheet.
    const std::string& StyleClass() const { return styleClass_; }
    // Shows the runtime's state. Unless forced, the widget is written only where the
    // runtime changed since the last refresh, so that a person's half-typed entry stays.
    void Refresh(const Window* control, bool force);

private:
    ControlWidget(Window* control, DialogView* view);
    void Build(Window* control);
    void Deliver(Action action);
    void RefreshRows(const ControlState& state, bool rebuild);
    void RebuildTableRows(const ControlState& state);

    static void OnClicked(GtkButton* button, ControlWidget* self);
    static void OnToggled(GtkCheckButton* button, ControlWidget* self);
    static void OnChanged(GtkEditable* editable, ControlWidget* self);
    static void OnDropDownSelected(GObject* dropDown, GParamSpec* property, ControlWidget* self);
    static void OnRowSelected(GtkListBox* list, GtkListBoxRow* row, ControlWidget* self);
    static void OnRowActivated(GtkListBox* list, GtkListBoxRow* row, ControlWidget* self);
    static void OnListPressed(GtkGestureClick* gesture, int presses, double x, double y, ControlWidget* self);
    static void OnRowTicked(GtkCheckButton* button, ControlWidget* self);
    static void OnSwitchPage(GtkNotebook* notebook, GtkWidget* page, guint index, ControlWidget* self);

    DialogView* view_;
    HWND handle_;
    Window::Kind kind_;
    DWORD style_;
    GtkWidget* outer_ = nullptr;
    GtkWidget* inner_ = nullptr;
    GtkWidget* header_ = nullptr;  // a table's column titles
    bool frames_ = false;
    bool checkable_ = false;
    bool radio_ = false;
    bool tableChecks_ = false;
    std::string styleClass_;
    std::optional<ControlState> seen_;
};
