#include <cerrno>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "feeds/RegistrySettings.h"
#include "host/Command.h"
#include "host/KestrelModule.h"
#include "platform/registry/Registry.h"

namespace {

// "Software\Velmar\<application>"
std::string ApplicationKey(const std::string& application) {
    std::string key = FeedSettingsKey(application.c_str(), "");
    if (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

std::string StoreError(const std::string& what, LONG code) {
    return what + " in " + RegistryDirectory() + ": " + StoreErrorWords(code);
}

uint64_t LittleEndian(const std::vector<BYTE>& data, size_t bytes) {
    uint64_t v = 0;
    for (size_t i = bytes; i-- > 0;) v = v << 8 | data[i];
    return v;
}

std::string ValueText(DWORD type, const std::vector<BYTE>& data) {
    char text[64];
    switch (type) {
        case REG_DWORD:
            if (data.size() != 4) break;
            std::snprintf(text, sizeof text, "dword %" PRIu64 " (0x%08" PRIX64 ")", LittleEndian(data, 4),
                          LittleEndian(data, 4));
            return text;
        case REG_QWORD:
            if (data.size() != 8) break;
            std::snprintf(text, sizeof text, "qword %" PRIu64, LittleEndian(data, 8));
            return text;
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ: {
            std::string s(data.begin(), data.end());
            while (!s.empty() && s.back() == '\0') s.pop_back();
            if (type == REG_MULTI_SZ) {
                for (char& c : s) {
                    if (c == '\0') c = '|';
                }
            }
            return std::string(type == REG_SZ ? "text" : type == REG_EXPAND_SZ ? "expandable text" : "texts") +
                   " \"" + s + "\"";
        }
        default:
            break;
    }
    std::snprintf(text, sizeof text, "type %u:", static_cast<unsigned>(type));
    std::string hex = type == REG_BINARY ? "binary:" : text;
    for (BYTE b : data) {
        std::snprintf(text, sizeof text, " %02x", b);
        hex += text;
    }
    return hex;
}

// Name, type and data of value index; grows the buffers as the store asks.
LONG EnumValue(HKEY key, DWORD index, std::string* name, DWORD* type, std::vector<BYTE>* data) {
    std::vector<char> nameBuffer(256);
    data->assign(256, 0);
    for (;;) {
        DWORD nameSize = static_cast<DWORD>(nameBuffer.size());
        DWORD dataSize = static_cast<DWORD>(data->size());
        LONG r = RegEnumValueA(key, index, nameBuffer.data(), &nameSize, type, data->data(), &dataSize);
        if (r == ERROR_MORE_DATA) {
            nameBuffer.resize(std::max<size_t>(nameBuffer.size() * 2, nameSize + 1));
            data->resize(std::max<size_t>(data->size() * 2, dataSize));
            continue;
        }
        if (r == ERROR_SUCCESS) {
            name->assign(nameBuffer.data(), nameSize);
            data->resize(dataSize);
        }
        return r;
    }
}

LONG EnumKey(HKEY key, DWORD index, std::string* name) {
    std::vector<char> buffer(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        LONG r = RegEnumKeyExA(key, index, buffer.data(), &size);
        if (r == ERROR_MORE_DATA) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, size + 1));
            continue;
        }
        if (r == ERROR_SUCCESS) name->assign(buffer.data(), size);
        return r;
    }
}

// Every key below root, depth first, each with all its values; without recursion, so
// that no nesting depth can exhaust the stack.
int Show(const std::string& application) {
    const std::string root = ApplicationKey(application);
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(HKEY_CURRENT_USER, root.c_str(), &key);
    if (r == ERROR_FILE_NOT_FOUND) {
        std::printf("no settings stored for \"%s\" (store: %s)\n", application.c_str(), RegistryDirectory().c_str());
        return kExitDone;
    }
    if (r != ERROR_SUCCESS) return Fail(StoreError("cannot read the settings", r));
    RegCloseKey(key);
    std::printf("store: %s\n", RegistryDirectory().c_str());
    std::vector<std::string> pending = {root};
    while (!pending.empty()) {
        const std::string path = std::move(pending.back());
        pending.pop_back();
        r = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), &key);
        if (r != ERROR_SUCCESS) return Fail(StoreError("cannot read " + path, r));
        std::printf("[HKEY_CURRENT_USER\\%s]\n", path.c_str());
        std::string name;
        DWORD type = 0;
        std::vector<BYTE> data;
        for (DWORD i = 0; (r = EnumValue(key, i, &name, &type, &data)) == ERROR_SUCCESS; ++i)
            std::printf("  %s = %s\n", name.empty() ? "(default)" : name.c_str(), ValueText(type, data).c_str());
        std::vector<std::string> children;
        if (r == ERROR_NO_MORE_ITEMS) {
            for (DWORD i = 0; (r = EnumKey(key, i, &name)) == ERROR_SUCCESS; ++i) children.push_back(path + "\\" + name);
        }
        RegCloseKey(key);
        if (r != ERROR_NO_MORE_ITEMS) return Fail(StoreError("cannot read " + path, r));
        // Reversed onto the stack, so that they come out in the store's order.
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return kExitDone;
}

// KEY "IPTVFeed\Port": subkey path and value name below the application's key; a
// name without a backslash is a value of the application's key itself.
std::pair<std::string, std::string> SplitKey(const std::string& application, const std::string& key) {
    const size_t slash = key.rfind('\\');
    if (slash == std::string::npos) return {ApplicationKey(application), key};
    return {ApplicationKey(application) + "\\" + key.substr(0, slash), key.substr(slash + 1)};
}

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *value = v;
    return true;
}

bool Encode(DWORD type, const std::string& text, std::vector<BYTE>* data) {
    uint64_t v = 0;
    switch (type) {
        case REG_DWORD:
        case REG_QWORD: {
            const size_t bytes = type == REG_DWORD ? 4 : 8;
            if (!ParseUnsigned(text, bytes == 4 ? UINT32_MAX : UINT64_MAX, &v)) return false;
            for (size_t i = 0; i < bytes; ++i) data->push_back(static_cast<BYTE>(v >> (8 * i)));
            return true;
        }
        case REG_SZ:
        case REG_EXPAND_SZ:
            data->assign(text.begin(), text.end());
            data->push_back(0);
            return true;
        case REG_BINARY: {
            std::string digits;
            for (char c : text) {
                if (c != ' ') digits += c;
            }
            if (digits.size() % 2) return false;
            for (size_t i = 0; i < digits.size(); i += 2) {
                if (!std::isxdigit(static_cast<unsigned char>(digits[i])) ||
                    !std::isxdigit(static_cast<unsigned char>(digits[i + 1])))
                    return false;
                data->push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
            }
            return true;
        }
        default:
            return false;
    }
}

const std::pair<const char*, DWORD> kTypeNames[] = {
    {"dword", REG_DWORD}, {"qword", REG_QWORD}, {"text", REG_SZ}, {"expandable", REG_EXPAND_SZ}, {"binary", REG_BINARY}};

std::string TypeWords(DWORD type) {
    switch (type) {
        case REG_DWORD: return "a dword (a whole number from 0 to 4294967295)";
        case REG_QWORD: return "a qword (a whole number from 0 to 18446744073709551615)";
        case REG_BINARY: return "binary (pairs of hex digits)";
        case REG_SZ:
        case REG_EXPAND_SZ: return "text";
        default: return "of type " + std::to_string(type) + ", which this command does not write";
    }
}

int Set(const std::string& application, const std::string& keyText, const std::string& valueText,
        const std::string& typeName) {
    auto [path, name] = SplitKey(application, keyText);
    HKEY key = nullptr;
    LONG r = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), &key);
    if (r != ERROR_SUCCESS) return Fail(StoreError("cannot open " + path, r));
    // An existing value keeps its type; a new one takes --type, else dword for a
    // number and text otherwise.
    DWORD type = 0, size = 0;
    const bool exists = RegQueryValueExA(key, name.c_str(), &type, nullptr, &size) == ERROR_SUCCESS;
    DWORD wanted = 0;
    for (const auto& [word, code] : kTypeNames) {
        if (typeName == word) wanted = code;
    }
    if (exists && !typeName.empty() && wanted != type) {
        RegCloseKey(key);
        return Fail(keyText + " is stored as another type; unset it first to change its type");
    }
    uint64_t number = 0;
    if (!exists) type = wanted ? wanted : ParseUnsigned(valueText, UINT32_MAX, &number) ? REG_DWORD : REG_SZ;
    std::vector<BYTE> data;
    if (!Encode(type, valueText, &data)) {
        RegCloseKey(key);
        return Fail("\"" + valueText + "\" does not fit " + keyText + ", " + TypeWords(type));
    }
    r = RegSetValueExA(key, name.c_str(), type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return Fail(StoreError("cannot write " + keyText, r));
    return kExitDone;
}

int Unset(const std::string& application, const std::string& keyText) {
    auto [path, name] = SplitKey(application, keyText);
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), &key);
    if (r == ERROR_SUCCESS) {
        r = RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
    }
    if (r == ERROR_FILE_NOT_FOUND) return Fail(keyText + " is not set for \"" + application + "\"");
    if (r != ERROR_SUCCESS) return Fail(StoreError("cannot remove " + keyText, r));
    return kExitDone;
}

class SettingsCommand final : public Command {
    void Declare(CLI::App& cmd) override {
        cmd.add_option("--app", application_, "Application name")->type_name("NAME")->capture_default_str();
        CLI::App* set = cmd.add_subcommand("set", "Store a value: KEY is SUBKEY\\NAME, e.g. IPTVFeed\\Port");
        set->add_option("KEY", key_, "Value name, after the subkeys it is under")->type_name("")->required();
        set->add_option("VALUE", value_, "Number or text; an existing value keeps its type")->type_name("")->required();
        std::vector<std::string> names;
        for (const auto& [word, code] : kTypeNames) names.push_back(word);
        set->add_option("--type", type_,
                        "Type of a new value: dword, qword, text, expandable or binary (default: dword for a "
                        "32-bit number, else text)")
            ->type_name("TYPE")
            ->check(CLI::IsMember(names).description(""));
        CLI::App* unset = cmd.add_subcommand("unset", "Remove a value");
        unset->add_option("KEY", key_, "Value name, after the subkeys it is under")->type_name("")->required();
        // --app may also come after set/unset.
        set->fallthrough();
        unset->fallthrough();
        set_ = set;
        unset_ = unset;
    }
    int Run(const GlobalOptions&) override {
        if (set_->parsed()) return Set(application_, key_, value_, type_);
        if (unset_->parsed()) return Unset(application_, key_);
        return Show(application_);
    }
    std::string application_ = kDefaultApplicationName;
    std::string key_, value_, type_;
    CLI::App* set_ = nullptr;
    CLI::App* unset_ = nullptr;
};

const bool registered = RegisterCommand({65, "settings", "Show or change the stored settings of an application",
                                         [] { return std::make_unique<SettingsCommand>(); }});

}  // namespace
