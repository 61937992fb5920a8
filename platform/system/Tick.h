#pragma once
#include "platform/system/Wait.h"

// Milliseconds on the system's monotonic clock, so that two processes agree; the
// 32-bit count wraps after about 49.7 days.
DWORD GetTickCount();
ULONGLONG GetTickCount64();
// Sleep(0) yields; Sleep(INFINITE) never returns.
void Sleep(DWORD ms);
// Adds a fixed amount to both tick counts so that tests can start close to the wrap.
void SetTickCountOffsetForTesting(DWORD offset);
