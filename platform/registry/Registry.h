#pragma once
// The per-user settings store behind the desktop registry API, narrow-text flavour.
// Values live in .reg text files, one per root, in RegistryDirectory().
#include "platform/com/ComTypes.h"
#include "platform/system/ErrorCodes.h"
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

// Creates every missing key along subKey (null or "" = the parent key itself). Keys
// nest at most 512 deep below a root; deeper gives ERROR_BADKEY.
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

// Batches the calling thread's changes to one root into one locked read-modify-write:
// from construction to Commit, other threads and processes wait to change that root,
// and every call this thread makes on it (through any key of the root) sees and changes
// the batch. Commit writes it all with one atomic replace; a batch never committed
// writes nothing. A batch opened while this thread has one open on the root joins it.
class RegTransaction {
public:
    explicit RegTransaction(HKEY anyKeyOfTheRoot);
    ~RegTransaction();
    RegTransaction(const RegTransaction&) = delete;
    RegTransaction& operator=(const RegTransaction&) = delete;

    // Why the batch could not be opened (lock or read failure), else ERROR_SUCCESS.
    LONG Status() const { return status_; }
    LONG Commit();

private:
    struct State;
    State* state_ = nullptr;
    LONG status_ = ERROR_SUCCESS;
};

// $KESTREL_HOME, else $XDG_CONFIG_HOME/kestrel, else ~/.config/kestrel.
std::string RegistryDirectory();
