#pragma once
// The presenter a person uses: each dialog in a GTK 4 window, worked with mouse and
// keyboard, message boxes and the open-file dialog as GTK windows. Everything runs on
// the thread that shows the dialog, in nested main loops, as modal dialogs do.
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Presenter.h"

class DialogView;

class GtkPresenter : public Presenter {
public:
    // How often the runtime's posted messages and timers are served, and the screen
    // brought up to date with what timers changed.
    static constexpr guint kTickMs = 50;

    // Initialises GTK on the default display; the reason when there is none, empty
    // when the presenter can be used.
    static std::string OpenDisplay();

    GtkPresenter();
    ~GtkPresenter() override;
    GtkPresenter(const GtkPresenter&) = delete;
    GtkPresenter& operator=(const GtkPresenter&) = delete;

    // Called once a window is on the screen: a dialog (with its view), a message box
    // or the open-file dialog (view null). For tests and demonstrations.
    using ShownHook = std::function<void(GtkWindow* window, const std::string& name, DialogView* view)>;
    void OnShown(ShownHook hook) { shown_ = std::move(hook); }

    // After a person's action: posted messages are handled now, the screen follows soon.
    void AfterAction();
    // Lets real time pass for the runtime's timers, then refreshes every open dialog.
    void Tick();

    // Presenter
    void RunModal(HWND dialog, const std::string& name) override;
    int ShowMessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> ShowOpenFile(const OpenFileRequest& request) override;

private:
    GtkWindow* OwnerWindow() const;
    void RefreshAll();
    void Shown(GtkWindow* window, const std::string& name, DialogView* view);

    std::vector<DialogView*> views_;
    ShownHook shown_;
    guint refresh_ = 0;
    std::chrono::steady_clock::time_point lastTick_;
    std::chrono::steady_clock::duration carried_{};
};
