#pragma once
// Result codes as the host reports them: words first, the code after for searching.
#include <string>

#include "platform/com/ComTypes.h"

// "No space left on device (0x80070070)"; an unknown code alone.
std::string HResultText(HRESULT hr);
// A system error code from the settings store, in words.
std::string StoreErrorWords(long code);
