#pragma once
// The desktop platform's plain integer, handle and window-geometry types, with their
// usual names. The lowest layer, so that every part of the platform can use them.
#include <cstdint>

using ULONG = uint32_t;
using LONG = int32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using BOOL = int32_t;
using UINT = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using REFERENCE_TIME = int64_t;  // 100-nanosecond units
using WCHAR = char16_t;
using HWND = void*;
using HINSTANCE = void*;
using LPVOID = void*;
using DWORD_PTR = uintptr_t;
using LONG_PTR = intptr_t;

// Plain window geometry and messages, shared by the media graph and the dialog runtime.
struct POINT {
    LONG x;
    LONG y;
};
struct SIZE {
    LONG cx;
    LONG cy;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPCRECT = const RECT*;
struct MSG {
    HWND hwnd;
    UINT message;
    uintptr_t wParam;
    intptr_t lParam;
    DWORD time;
    POINT pt;
};

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
