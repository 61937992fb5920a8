#pragma once
// Who shows dialogs to a person. The runtime builds and initialises a dialog, then
// hands it to the installed presenter, which lets someone (or a script) work its
// controls until the dialog has ended. Without a presenter nothing can be shown.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/UiTypes.h"

struct MessageBoxRequest {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = MB_OK;
};

struct OpenFileRequest {
    HWND owner = nullptr;
    std::vector<std::pair<std::string, std::string>> filters;  // description, patterns
    DWORD filterIndex = 0;
    std::string initialFile;
    std::string initialDirectory;
    std::string title;
    DWORD flags = 0;
    std::string defaultExtension;
};

class Presenter {
public:
    virtual ~Presenter() = default;
    // Shows a modal dialog or property sheet; returns once DialogRuntime::Ended says
    // so. name is the template's name (property sheets: their caption).
    virtual void RunModal(HWND dialog, const std::string& name) = 0;
    // The button pressed: one of the buttons the type offers.
    virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;
    // The chosen path, or nothing when cancelled.
    virtual std::optional<std::string> ShowOpenFile(const OpenFileRequest& request) = 0;
};

// One presenter per process; null removes it. The presenter must outlive its use.
void SetPresenter(Presenter* presenter);
Presenter* GetPresenter();

// Installs a presenter for a scope and puts back the previous one.
class ScopedPresenter {
public:
    explicit ScopedPresenter(Presenter* presenter) : previous_(GetPresenter()) { SetPresenter(presenter); }
    ~ScopedPresenter() { SetPresenter(previous_); }
    ScopedPresenter(const ScopedPresenter&) = delete;
    ScopedPresenter& operator=(const ScopedPresenter&) = delete;

private:
    Presenter* previous_;
};
