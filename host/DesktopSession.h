#pragma once
// The commands that open windows: the display opened and the GTK presenter installed
// for as long as the session lives. Nothing else in the host needs a display.
#include <memory>
#include <string>

class GtkPresenter;
class ScopedPresenter;

class DesktopSession {
public:
    DesktopSession();
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // False with the reason when no display can be opened.
    bool Open(std::string* error);

private:
    std::unique_ptr<GtkPresenter> presenter_;
    std::unique_ptr<ScopedPresenter> installed_;
};
