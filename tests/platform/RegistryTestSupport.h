#pragma once
#include "platform/registry/Registry.h"
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

// Points the store at a fresh temporary directory for the life of the object.
class ScopedRegistryHome {
public:
    ScopedRegistryHome() {
        if (const char* old = std::getenv("KESTREL_HOME")) previous_ = old;
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-reg-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        setenv("KESTREL_HOME", path_.c_str(), 1);
    }
    ~ScopedRegistryHome() {
        previous_ ? setenv("KESTREL_HOME", previous_->c_str(), 1) : unsetenv("KESTREL_HOME");
        std::filesystem::remove_all(path_);
    }
    ScopedRegistryHome(const ScopedRegistryHome&) = delete;
    ScopedRegistryHome& operator=(const ScopedRegistryHome&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string Read(const std::string& name) const {
        std::stringstream ss;
        ss << std::ifstream(File(name), std::ios::binary).rdbuf();
        return ss.str();
    }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
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
