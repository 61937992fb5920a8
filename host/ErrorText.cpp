#include "host/ErrorText.h"

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/system/ErrorText.h"

namespace {

struct Words {
    long code;
    int error;          // the errno of the same meaning, whose words this system uses
    const char* words;  // for codes with no such errno
};

// The Win32 codes the settings store and the module's registration can give.
constexpr Words kWin32[] = {
    {2, ENOENT, nullptr},                                // file not found
    {3, ENOENT, nullptr},                                // path not found
    {4, EMFILE, nullptr},                                // too many open files
    {5, EACCES, nullptr},                                // access denied
    {6, EBADF, nullptr},                                 // invalid handle
    {8, ENOMEM, nullptr},                                // not enough memory
    {19, EROFS, nullptr},                                // write protected
    {14, ENOMEM, nullptr},                               // out of memory
    {29, EIO, nullptr},                                  // write fault
    {30, EIO, nullptr},                                  // read fault
    {32, EBUSY, nullptr},                                // sharing violation
    {33, EBUSY, nullptr},                                // lock violation
    {39, ENOSPC, nullptr},                               // disk full
    {80, EEXIST, nullptr},                               // file exists
    {87, EINVAL, nullptr},                               // invalid parameter
    {112, ENOSPC, nullptr},                              // not enough space on the disk
    {183, EEXIST, nullptr},                              // already exists
    {206, ENAMETOOLONG, nullptr},                        // file name too long
    {267, ENOTDIR, nullptr},                             // not a directory
    {336, EISDIR, nullptr},                              // a directory where a file belongs
    {1009, 0, "the settings store is damaged"},          // ERROR_BADDB
    {1010, 0, "the settings key is not valid"},          // ERROR_BADKEY
    {1011, 0, "the settings key could not be opened"},   // ERROR_CANTOPEN
    {1012, 0, "the settings key could not be read"},     // ERROR_CANTREAD
    {1013, 0, "the settings could not be written"},      // ERROR_CANTWRITE
    {1018, 0, "the settings key has been deleted"},      // ERROR_KEY_DELETED
    {1117, EIO, nullptr},                                // I/O device error
};

std::string WithCode(const std::string& words, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return words.empty() ? code : words + " (" + code + ")";
}

}  // namespace

std::string StoreErrorWords(long code) {
    for (const Words& w : kWin32) {
        if (w.code == code) return w.words ? w.words : SystemMessageText(w.error);
    }
    return "system error " + std::to_string(code);
}

std::string HResultText(HRESULT hr) {
    const auto bits = static_cast<uint32_t>(hr);
    if ((bits & 0xFFFF0000u) == 0x80070000u) return WithCode(StoreErrorWords(static_cast<long>(bits & 0xFFFF)), hr);
    const std::pair<HRESULT, std::string> kCom[] = {
        {E_FAIL, "unspecified failure"},
        {E_NOTIMPL, "not implemented"},
        {E_NOINTERFACE, "the interface is not offered"},
        {E_POINTER, "a null pointer was given"},
        {E_UNEXPECTED, "unexpected failure"},
        {CLASS_E_CLASSNOTAVAILABLE, "the module does not offer that class"},
        {REGDB_E_CLASSNOTREG, "the class is not registered"},
        {STG_E_READFAULT, SystemMessageText(EIO)},
        {STG_E_WRITEFAULT, SystemMessageText(EIO)},
        {STG_E_MEDIUMFULL, SystemMessageText(ENOSPC)},
    };
    for (const auto& [code, words] : kCom) {
        if (code == hr) return WithCode(words, hr);
    }
    return WithCode("", hr);
}
