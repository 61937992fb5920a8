#pragma once
#include <cstdint>
#include <string>

// Per-thread last error, as the desktop keeps it.
uint32_t GetLastError();
void SetLastError(uint32_t error);
// The C library's text for an errno value, without a trailing newline.
std::string SystemMessageText(int osErrorCode);
// The desktop's message for a system error code (ErrorCodes.h) or for a result code
// that wraps one (0x8007xxxx), as FormatMessage gives it; "Unknown error 0x%08X" for
// anything else.
std::string Win32ErrorText(uint32_t code);
