#pragma once
#include "platform/com/ComTypes.h"

// Timeout value that never expires.
constexpr DWORD INFINITE = 0xFFFFFFFF;
