#pragma once
// The modal configuration dialog that every feed's settings dialog derives from, and
// its property-sheet page variant. Dialog templates are resources of the host
// program (the main executable), looked up by name.
#include "platform/ui/DialogApi.h"

// Called for every message that no specific handler consumed.
using ConfigMessageHook = INT_PTR (*)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class CConfigDialog {
public:
    CConfigDialog(const WCHAR* templateName, ConfigMessageHook hook);
    virtual ~CConfigDialog();
    CConfigDialog(const CConfigDialog&) = delete;
    CConfigDialog& operator=(const CConfigDialog&) = delete;

    virtual INT_PTR OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    virtual INT_PTR OnInitDialog();
    // command: the command message's first parameter (control identifier in the low
    // word); notification: its high word. Non-zero: handled.
    virtual INT_PTR OnCommand(WPARAM command, WORD notification);
    virtual INT_PTR OnTimer(UINT_PTR timerId);
    virtual INT_PTR OnNotify(int controlId, NMHDR* header);

    // Runs the dialog; the value it ended with, or -1 when it could not be shown.
    INT_PTR DoModal(HWND parent);

    // One procedure for all dialogs: it finds the object through the window.
    static INT_PTR SharedDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND Window() const { return m_hwnd; }
    HINSTANCE ResourceModule() const { return m_resourceModule; }
    const WCHAR* TemplateName() const { return m_templateName; }

protected:
    HINSTANCE m_resourceModule;
    HWND m_hwnd = nullptr;
    const WCHAR* m_templateName;
    ConfigMessageHook m_hook;
};

// A configuration dialog shown as one page of a property sheet.
class CConfigPage : public CConfigDialog {
public:
    using CConfigDialog::CConfigDialog;

    // Writes size, flags, module, template, procedure and parameter; the caller's
    // other members stay as they are.
    void FillPageDescription(PROPSHEETPAGEW* page);

    // On WM_INITDIALOG the page description carries the object.
    static INT_PTR PageDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};
