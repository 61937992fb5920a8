#pragma once
// One dialog or property sheet on the screen: a GTK window whose controls sit where
// the runtime's dialog puts them. The view follows the runtime's window tree (pages
// come and go, controls show and hide) and hands a person's actions to the runtime.
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "desktop/ControlWidget.h"

class GtkPresenter;

class DialogView {
public:
    DialogView(GtkPresenter* presenter, HWND dialog, std::string name, GtkWindow* owner);
    ~DialogView();
    DialogView(const DialogView&) = delete;
    DialogView& operator=(const DialogView&) = delete;

    HWND Dialog() const { return dialog_; }
    const std::string& Name() const { return name_; }
    GtkWindow* Window() const { return window_; }
    // The drawn area of the dialog, without the title bar.
    GtkWidget* Content() const { return content_; }
    // The widget showing the control with this handle, or null.
    ControlWidget* Find(HWND control) const;
    // The shown control with this identifier: the dialog's own first, then its pages'.
    ControlWidget* FindById(int id) const;
    const std::map<HWND, std::unique_ptr<ControlWidget>>& Controls() const { return controls_; }

    // Brings the screen up to what the runtime holds.
    void Refresh();
    // A person's action on a control; nothing while the view itself writes to widgets.
    void Deliver(HWND control, const ControlWidget::Action& action);

private:
    void Walk(::Window* parent, int originX, int originY, std::set<HWND>& alive, std::string& css);
    void Place(ControlWidget& widget, const ::Window* control, int x, int y);
    void ApplyStyle(const std::string& css);
    ControlWidget* DefaultButton(::Window* root) const;

    static void Measure(GtkWidget* widget, GtkOrientation orientation, int forSize, int* minimum, int* natural,
                        int* minimumBaseline, int* naturalBaseline);
    static void Allocate(GtkWidget* widget, int width, int height, int baseline);
    static gboolean OnCloseRequest(GtkWindow* window, DialogView* self);
    static gboolean OnEscape(GtkWidget* window, GVariant* arguments, gpointer self);

    GtkPresenter* presenter_;
    HWND dialog_;
    std::string name_;
    GtkWindow* window_ = nullptr;
    GtkWidget* content_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::map<HWND, std::unique_ptr<ControlWidget>> controls_;
    std::set<HWND> resync_;
    GtkCssProvider* colours_ = nullptr;
    std::string css_;
    bool writing_ = false;
};
