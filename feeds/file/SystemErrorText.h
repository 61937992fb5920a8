#pragma once
#include <cstdint>

// The system's message for an OS error code, cut at its first line break, or
// "Unknown error code" when the system has none. The text lives in a 260-byte buffer
// of the calling thread, valid until that thread's next call.
const char* SystemErrorText(uint32_t code);
