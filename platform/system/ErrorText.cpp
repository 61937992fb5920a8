#include "platform/system/ErrorText.h"
#include <cstring>

namespace {
thread_local DWORD t_lastError = 0;

// strerror_r comes in a GNU flavour (returns the text) and an XSI one (fills the buffer).
[[maybe_unused]] const char* Pick(const char* result, const char*) { return result; }
[[maybe_unused]] const char* Pick(int result, const char* buffer) { return result == 0 ? buffer : nullptr; }
}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

std::string SystemMessageText(int osErrorCode) {
    char buffer[256] = {};
    const char* text = Pick(strerror_r(osErrorCode, buffer, sizeof buffer), buffer);
    std::string s = text ? text : "Unknown error " + std::to_string(osErrorCode);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}
