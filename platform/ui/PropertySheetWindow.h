#pragma once
// Modal property sheets: a tab strip over the pages, and OK, Cancel, Apply and (when
// asked for) Help buttons. Pages are created when they are first shown and hear of
// activation, apply, cancel and help through WM_NOTIFY (PSN_...).
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/DialogWindow.h"
#include "platform/ui/ResourceRegistry.h"

class Presenter;

// What an HPROPSHEETPAGE stands for: a copy of the page description (the page's
// WM_INITDIALOG receives a pointer to it) and the resources it names.
struct SheetPage {
    bool wide = false;
    alignas(PROPSHEETPAGEA) unsigned char description[sizeof(PROPSHEETPAGEA)] = {};
    std::string title;
    std::string templateName;
    std::shared_ptr<const DialogTemplate> dialog;
    HWND window = nullptr;

    PROPSHEETPAGEA& A() { return *reinterpret_cast<PROPSHEETPAGEA*>(description); }
    PROPSHEETPAGEW& W() { return *reinterpret_cast<PROPSHEETPAGEW*>(description); }
    DWORD Flags() { return A().dwFlags; }
    DLGPROC Proc() { return A().pfnDlgProc; }
    // PSPCB_CREATE: false when the page's callback refuses to be created.
    bool CallbackCreate();
    void CallbackRelease();

    static SheetPage* From(const PROPSHEETPAGEA* page);
    static SheetPage* From(const PROPSHEETPAGEW* page);
};

class PropertySheetWindow : public DialogWindow {
public:
    struct Header {
        DWORD flags = 0;
        HWND owner = nullptr;
        HINSTANCE module = nullptr;
        HICON icon = nullptr;
        std::string caption;
        UINT startPage = 0;
        std::string startTitle;  // PSH_USEPSTARTPAGE
        PFNPROPSHEETCALLBACK callback = nullptr;
    };

    // Takes the pages over; they are destroyed when the sheet is.
    static INT_PTR Run(const Header& header, std::vector<SheetPage*> pages);

    ~PropertySheetWindow() override;

protected:
    LRESULT DefaultDialogProcess(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    PropertySheetWindow(const Header& header, std::vector<SheetPage*> pages, RECT rect, RECT pageArea);
    void BuildControls();
    // Switches to the page; the page being left may refuse (PSN_KILLACTIVE) unless
    // that was asked already.
    bool Activate(int index, bool leavingAsked);
    LRESULT NotifyPage(int index, UINT code, LPARAM lParam);
    bool Apply(bool closing);
    void Cancel();
    void SetApplyEnabled(bool enabled);

    Header header_;
    std::vector<SheetPage*> pages_;
    RECT pageArea_;
    int current_ = -1;
    bool applied_ = false;
    std::set<HWND> changed_;
};
