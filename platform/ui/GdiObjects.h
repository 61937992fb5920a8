#pragma once
// The drawing objects that dialogs touch: device contexts that only remember the
// colours and mode set on them, and brushes that only have a colour. Painting a
// control asks its dialog for these, so what a dialog chose can be read back.
#include "platform/ui/UiTypes.h"

// The state of one device context, as a colour message handler leaves it.
struct DeviceContextState {
    COLORREF text = RGB(0, 0, 0);
    COLORREF background = RGB(255, 255, 255);
    int backgroundMode = OPAQUE;
};

// What a brush handle stands for; false for a handle that is no live brush.
bool DescribeBrush(HBRUSH brush, COLORREF* colour, bool* hollow);
// A device context for painting one window; freed with ReleaseDC.
HDC CreatePaintContext(HWND window);
bool ReadContext(HDC dc, DeviceContextState* state);

// Average character width and line height of the dialog font, in pixels; they turn
// dialog units into pixels (4 units per character across, 8 per line down).
constexpr int kDialogCharWidth = 6;
constexpr int kDialogCharHeight = 13;

HBRUSH CreateSolidBrush(COLORREF colour);
HGDIOBJ GetStockObject(int object);
DWORD GetSysColor(int index);
// Stock objects are never deleted (TRUE, as on the desktop); unknown handles give FALSE.
BOOL DeleteObject(HGDIOBJ object);
// Brushes only: fills a LOGBRUSH; returns the bytes written, 0 for anything else.
int GetObjectA(HGDIOBJ object, int size, void* buffer);

COLORREF SetTextColor(HDC dc, COLORREF colour);  // previous colour, CLR_INVALID for a bad context
COLORREF SetBkColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);  // previous mode, 0 on failure

int ReleaseDC(HWND window, HDC dc);
