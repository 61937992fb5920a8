#pragma once
#include "platform/com/ComTypes.h"
#include <string>

// Per-thread last error, as the desktop keeps it.
DWORD GetLastError();
void SetLastError(DWORD error);
// The C library's text for an errno value, without a trailing newline.
std::string SystemMessageText(int osErrorCode);
