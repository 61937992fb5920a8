#include "feeds/ConfigDialog.h"

namespace {
// The page description layout that pages are described with.
constexpr DWORD kPageDescriptionSize = 48;
}  // namespace

CConfigDialog::CConfigDialog(const WCHAR* templateName, ConfigMessageHook hook)
    : m_resourceModule(MainProgramModule()), m_templateName(templateName), m_hook(hook) {}

CConfigDialog::~CConfigDialog() = default;

INT_PTR CConfigDialog::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return m_hook ? m_hook(hwnd, message, wParam, lParam) : 0;
}

INT_PTR CConfigDialog::OnInitDialog() { return OnMessage(m_hwnd, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(this)); }

INT_PTR CConfigDialog::OnCommand(WPARAM, WORD) { return 0; }

INT_PTR CConfigDialog::OnTimer(UINT_PTR) { return 0; }

INT_PTR CConfigDialog::OnNotify(int, NMHDR*) { return 0; }

INT_PTR CConfigDialog::DoModal(HWND parent) {
    return DialogBoxParamW(m_resourceModule, m_templateName, parent, &CConfigDialog::SharedDialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CConfigDialog::SharedDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CConfigDialog*>(lParam);
        if (!dialog) return 0;
        dialog->m_hwnd = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CConfigDialog*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!dialog) return 0;
    INT_PTR handled = 0;
    switch (message) {
    case WM_COMMAND: handled = dialog->OnCommand(wParam, HIWORD(wParam)); break;
    case WM_TIMER: handled = dialog->OnTimer(static_cast<UINT_PTR>(wParam)); break;
    case WM_NOTIFY:
        handled = dialog->OnNotify(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam));
        break;
    default: break;
    }
    if (handled) return handled;
    return dialog->OnMessage(hwnd, message, wParam, lParam);
}

void CConfigPage::FillPageDescription(PROPSHEETPAGEW* page) {
    if (!page) return;
    page->dwSize = kPageDescriptionSize;
    page->dwFlags = PSP_HASHELP;
    page->hInstance = m_resourceModule;
    page->pszTemplate = m_templateName;
    page->pfnDlgProc = &CConfigPage::PageDialogProc;
    page->lParam = reinterpret_cast<LPARAM>(this);
}

INT_PTR CConfigPage::PageDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* page = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
        return SharedDialogProc(hwnd, message, wParam, page ? page->lParam : 0);
    }
    return SharedDialogProc(hwnd, message, wParam, lParam);
}
