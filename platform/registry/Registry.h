#pragma once
// The per-user settings store behind the desktop registry API, narrow-text flavour.
// Values live in .reg text files, one per root, in RegistryDirectory().
#include "platform/com/ComTypes.h"
#include <string>

struct RegKeyHandle;
using HKEY = RegKeyHandle*;

extern const HKEY HKEY_CLASSES_ROOT;
extern const HKEY HKEY_CURRENT_USER;
extern const HKEY HKEY_LOCAL_MACHINE;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;  // the handle's key no longer exists

// Creates every missing key along subKey (null or "" = the parent key itself).
LONG RegCreateKeyExA(HKEY parent, const char* subKey, HKEY* result, DWORD* disposition = nullptr);
LONG RegOpenKeyExA(HKEY parent, const char* subKey, HKEY* result);
LONG RegCloseKey(HKEY key);
// null or "" name = the default value. With data null the size alone is returned. Too
// small a buffer gives ERROR_MORE_DATA and the size needed. REG_SZ sizes count the zero.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* dataSize);
// A REG_SZ given without its terminating zero is stored with one. REG_DWORD takes 4 bytes.
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD dataSize);
LONG RegDeleteValueA(HKEY key, const char* valueName);
// Refused with ERROR_ACCESS_DENIED while the key has subkeys.
LONG RegDeleteKeyA(HKEY parent, const char* subKey);
// The key and everything below; with null subKey, everything below the parent key.
LONG RegDeleteTreeA(HKEY parent, const char* subKey);
// Subkeys in case-insensitive name order. nameSize: buffer size in, name length out;
// when the buffer is too small, ERROR_MORE_DATA and the buffer size needed.
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize);
// Values in the order they were first set; sizes as for RegEnumKeyExA and RegQueryValueExA.
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data,
                   DWORD* dataSize);

// $KESTREL_HOME, else $XDG_CONFIG_HOME/kestrel, else ~/.config/kestrel.
std::string RegistryDirectory();
