#pragma once
#include "platform/system/PlainTypes.h"

// Timeout value that never expires.
constexpr DWORD INFINITE = 0xFFFFFFFF;
