#pragma once
// The desktop's window, dialog and common-dialog calls that dialog code uses, over
// this runtime. Windows belong to the thread that created them and are driven there;
// PostMessageA alone may be called from any thread. A dialog is seen by a person (or
// a test's script) only through the installed Presenter (platform/ui/Presenter.h);
// without one, modal dialogs, property sheets and the open-file dialog fail at once
// and show nothing.
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/GdiObjects.h"
#include "platform/ui/ResourceRegistry.h"
#include "platform/ui/UiTypes.h"

// Modal dialogs from a registered template. -1 when the template is missing or no
// presenter is installed (GetLastError says which); otherwise the value given to
// EndDialog. The owner's top-level window is disabled while the dialog runs.
INT_PTR DialogBoxParamA(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
INT_PTR DialogBoxParamW(HINSTANCE module, const WCHAR* templateName, HWND owner, DLGPROC proc, LPARAM param);
INT_PTR DialogBoxIndirectParamA(HINSTANCE module, const DialogTemplate* dialog, HWND owner, DLGPROC proc,
                                LPARAM param);
// Modeless dialogs, typically child windows of a frame; they need no presenter. A
// template with WS_CHILD or DS_CONTROL becomes a child of parent.
HWND CreateDialogParamA(HINSTANCE module, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param);
HWND CreateDialogIndirectParamA(HINSTANCE module, const DialogTemplate* dialog, HWND parent, DLGPROC proc,
                                LPARAM param);
// Ends a modal dialog once the current message has been handled; its controls stay
// readable until then.
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queued for the window's thread and delivered the next time that thread's dialog
// loop runs; FALSE for a window that does not exist.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);

HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);
// The parent of a child window, the owner of a top-level one.
HWND GetParent(HWND window);
// Siblings in creation order (GW_HWNDFIRST, GW_HWNDLAST, GW_HWNDNEXT, GW_HWNDPREV),
// the first child (GW_CHILD) or the owner (GW_OWNER).
HWND GetWindow(HWND window, UINT relation);

BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR buffer, int size);
int GetWindowTextLengthA(HWND window);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
// Blanks around the number are allowed; anything else, or a value out of range, fails.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);

BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Checks `check` and clears every other button whose identifier lies in first..last.
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);

// Both return the previous state: EnableWindow non-zero when the window was disabled,
// ShowWindow non-zero when it was visible.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL IsWindowVisible(HWND window);
HWND SetFocus(HWND window);
// The modal dialog the calling thread shows on top, or null.
HWND GetActiveWindow();

LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);

// Repainting: the window asks its dialog for its colours again when the dialog loop
// is next idle.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

// Geometry, in pixels. Top-level windows are placed on a screen of GetSystemMetrics size.
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
int GetSystemMetrics(int index);

// Timers fire WM_TIMER (or the timer procedure) as the presenter lets time pass.
// Setting an existing identifier again restarts it.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);

// The button pressed (IDOK, IDYES...). Without a presenter the text goes to the error
// stream, so that it is not lost, and the result is 0.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// TRUE with the chosen path in lpstrFile; FALSE when cancelled (CommDlgExtendedError
// 0) or failed (its code).
BOOL GetOpenFileNameA(OPENFILENAMEA* request);
DWORD CommDlgExtendedError();

// Modal property sheets; PSH_MODELESS is not offered (-1). The result is 1 when a
// page's changes were applied, 0 when none were, -1 on failure, or the value a page
// gave EndDialog on the sheet.
INT_PTR PropertySheetA(const PROPSHEETHEADERA* header);
INT_PTR PropertySheetW(const PROPSHEETHEADERW* header);
HPROPSHEETPAGE CreatePropertySheetPageA(const PROPSHEETPAGEA* page);
HPROPSHEETPAGE CreatePropertySheetPageW(const PROPSHEETPAGEW* page);
BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page);
