#include <cstdio>
#include <string>
#include <vector>

#include "host/Command.h"
#include "platform/registry/Registry.h"

namespace {

std::string ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
    char text[64];
    switch (type) {
        case REG_DWORD: {
            if (size < 4) return "(short number)";
            uint32_t v = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
            std::snprintf(text, sizeof text, "%u (0x%08X)", v, v);
            return text;
        }
        case REG_SZ: {
            std::string s(reinterpret_cast<const char*>(data.data()), size);
            while (!s.empty() && s.back() == '\0') s.pop_back();
            return "\"" + s + "\"";
        }
        default: {
            std::string hex;
            for (DWORD i = 0; i < size; ++i) {
                std::snprintf(text, sizeof text, "%s%02x", i ? " " : "", data[i]);
                hex += text;
            }
            return "hex: " + hex;
        }
    }
}

void PrintKey(HKEY parent, const std::string& path, const std::string& name, int depth) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), &key) != ERROR_SUCCESS) return;
    std::printf("%*s[%s]\n", depth * 2, "", path.c_str());
    for (DWORD i = 0;; ++i) {
        char valueName[256];
        DWORD nameSize = sizeof valueName, type = 0, size = 0;
        if (RegEnumValueA(key, i, valueName, &nameSize, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(size + 1);
        nameSize = sizeof valueName;
        if (RegEnumValueA(key, i, valueName, &nameSize, &type, data.data(), &size) != ERROR_SUCCESS) break;
        std::printf("%*s%s = %s\n", depth * 2 + 2, "", valueName[0] ? valueName : "(default)",
                    ValueText(type, data, size).c_str());
    }
    for (DWORD i = 0;; ++i) {
        char child[256];
        DWORD childSize = sizeof child;
        if (RegEnumKeyExA(key, i, child, &childSize) != ERROR_SUCCESS) break;
        PrintKey(key, path + "\\" + child, child, depth + 1);
    }
    RegCloseKey(key);
}

int ShowSettings(const std::string& application) {
    const std::string root = "Software\\Velmar\\" + application;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, root.c_str(), &key) != ERROR_SUCCESS) {
        std::printf("no settings stored for \"%s\" (store: %s)\n", application.c_str(), RegistryDirectory().c_str());
        return 0;
    }
    RegCloseKey(key);
    std::printf("store: %s\n", RegistryDirectory().c_str());
    PrintKey(HKEY_CURRENT_USER, "HKEY_CURRENT_USER\\" + root, root, 0);
    return 0;
}

class SettingsCommand final : public Command {
    void Declare(CLI::App& cmd) override {
        cmd.add_option("--app", application_, "Application name")->type_name("NAME")->capture_default_str();
    }
    int Run(const GlobalOptions&) override { return ShowSettings(application_); }
    std::string application_ = kDefaultApplicationName;
};

const bool registered = RegisterCommand({65, "settings", "Show the stored settings of an application",
                                         [] { return std::make_unique<SettingsCommand>(); }});

}  // namespace
