#include "host/DesktopSession.h"

#include "desktop/GtkPresenter.h"

DesktopSession::DesktopSession() = default;

DesktopSession::~DesktopSession() = default;

bool DesktopSession::Open(std::string* error) {
    if (std::string reason = GtkPresenter::OpenDisplay(); !reason.empty()) {
        *error = "no display: " + reason;
        return false;
    }
    presenter_ = std::make_unique<GtkPresenter>();
    installed_ = std::make_unique<ScopedPresenter>(presenter_.get());
    return true;
}
