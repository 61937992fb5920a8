#pragma once
#include "platform/registry/Registry.h"
#include "tests/support/TempDir.h"
#include <cstdlib>
#include <optional>
#include <string>

// Points the store at a fresh temporary directory for the life of the object.
class ScopedRegistryHome : public TempDir {
public:
    ScopedRegistryHome() : TempDir("kestrel-reg") {
        if (const char* old = std::getenv("KESTREL_HOME")) previous_ = old;
        setenv("KESTREL_HOME", Path().c_str(), 1);
    }
    ~ScopedRegistryHome() { previous_ ? setenv("KESTREL_HOME", previous_->c_str(), 1) : unsetenv("KESTREL_HOME"); }

private:
    std::optional<std::string> previous_;
};

inline LONG SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
inline LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}
// Empty unless the value exists with exactly the expected type and shape.
inline std::optional<DWORD> GetDword(HKEY key, const char* name) {
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) return {};
    if (type != REG_DWORD || size != 4) return {};
    return value;
}
inline std::optional<std::string> GetString(HKEY key, const char* name) {
    char buf[1024] = {};
    DWORD type = 0, size = sizeof buf;
    if (RegQueryValueExA(key, name, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS) return {};
    if (type != REG_SZ || size == 0 || buf[size - 1] != 0) return {};
    return std::string(buf, size - 1);
}
