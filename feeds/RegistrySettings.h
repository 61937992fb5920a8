#pragma once
// Reading and writing feed settings in the registry. Each call opens and closes the
// key, keeps no state and may be used from any thread. Texts are 8-bit.
#include <string>

#include "platform/registry/Registry.h"

// "Software\Velmar\<application>\<feed key>"; a null application counts as empty,
// which no registry call accepts.
std::string FeedSettingsKey(const char* application, const char* feedKey);

// 4 bytes of the value; 0 when the key text is null, the key is missing or the value
// cannot be read.
DWORD ReadRegDword(HKEY root, const char* key, const char* valueName);
// The value into the buffer; true when the read succeeded. Stored texts carry no
// terminating zero of their own, so callers clear the buffer first.
bool ReadRegString(HKEY root, const char* key, const char* valueName, char* buffer, DWORD bufferSize);
// Creates the key when needed; false when the key text is empty or a call fails.
bool WriteRegDword(HKEY root, const char* key, const char* valueName, DWORD value);
// asText: the text as a string value, its length not counting the terminator;
// otherwise the text's decimal number (leading blanks and a sign allowed) as a 32-bit
// value.
bool WriteRegValue(HKEY root, const char* key, bool asText, const char* valueName, const char* text);
