#include "feeds/file/SystemErrorText.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/system/ErrorText.h"

namespace {
constexpr const char* kUnknownErrorCode = "Unknown error code";
constexpr size_t kTextSize = 260;
}  // namespace

const char* SystemErrorText(uint32_t code) {
    // The C library makes up "Unknown error N" for codes it does not know; only codes
    // with a name have a real message.
    if (code > static_cast<uint32_t>(INT32_MAX) || !strerrorname_np(static_cast<int>(code)))
        return kUnknownErrorCode;
    thread_local char text[kTextSize];
    std::string message = SystemMessageText(static_cast<int>(code));
    const size_t cut = message.find_first_of("\r\n");
    if (cut != std::string::npos) message.resize(cut);
    const size_t n = std::min(message.size(), kTextSize - 1);
    std::memcpy(text, message.data(), n);
    text[n] = '\0';
    return text;
}
