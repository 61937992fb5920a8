#pragma once
#include "platform/registry/RegKey.h"
#include <string>
#include <string_view>

// The registry editor's text format ("Windows Registry Editor Version 5.00"), which
// keeps the store readable, diffable and importable. Text values are written quoted
// when they are one line of text with a single terminating zero; anything else is
// written as hex so that no byte is lost.
class RegFileFormat {
public:
    static std::string Write(const RegKey& root, std::string_view rootName);
    // Fills root (which should be empty) from text. On failure returns false with
    // "line N: what is wrong" in error; root then holds what was read so far.
    static bool Parse(std::string_view text, std::string_view rootName, RegKey& root, std::string* error);

    // Whether a key or value name survives a round trip through the format.
    static bool StorableKeyName(std::string_view name);
    static bool StorableValueName(std::string_view name);

    static constexpr size_t kMaxKeyNameLength = 255;
    // Keys below a root, as the desktop registry allows; deeper text is a damaged file.
    static constexpr size_t kMaxKeyDepth = 512;
};
