#include "platform/registry/Registry.h"
#include "platform/registry/RegFileFormat.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFile.h"
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pwd.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

// A handle is only a root and a path: the store is re-read on every call, so a handle
// always sees what other threads and processes wrote meanwhile.
struct RegKeyHandle {
    int root;
    std::vector<std::string> path;
};

namespace {
constexpr int kRootCount = 3;
constexpr const char* kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
constexpr const char* kStoreDirEnv = "KESTREL_HOME";
constexpr const char* kStoreDirName = "kestrel";

RegKeyHandle g_roots[kRootCount] = {{0, {}}, {1, {}}, {2, {}}};

std::mutex g_handlesMutex;
// Never destroyed: handles may still be closed from static destructors at exit.
std::unordered_set<const RegKeyHandle*>& OpenHandles() {
    static auto* handles = new std::unordered_set<const RegKeyHandle*>;
    return *handles;
}

bool IsRoot(HKEY key) { return key >= &g_roots[0] && key < &g_roots[kRootCount]; }

// Copies what the handle names; false for anything that is not a live handle.
bool Resolve(HKEY key, RegKeyHandle& out) {
    if (!key) return false;
    if (IsRoot(key)) {
        out = *key;
        return true;
    }
    std::lock_guard lock(g_handlesMutex);
    if (!OpenHandles().count(key)) return false;
    out = *key;
    return true;
}

HKEY NewHandle(int root, std::vector<std::string> path) {
    auto* h = new RegKeyHandle{root, std::move(path)};
    std::lock_guard lock(g_handlesMutex);
    OpenHandles().insert(h);
    return h;
}

// Splits "A\B\C" into names. A single trailing backslash is allowed; a leading one or
// an empty name between two is not.
bool SplitPath(const char* subKey, std::vector<std::string>& names) {
    names.clear();
    if (!subKey || !*subKey) return true;
    std::string_view rest(subKey);
    if (rest.back() == '\\') rest.remove_suffix(1);
    for (;;) {
        size_t sep = rest.find('\\');
        std::string_view name = rest.substr(0, sep);
        if (!RegFileFormat::StorableKeyName(name)) return false;
        names.emplace_back(name);
        if (sep == std::string_view::npos) return true;
        rest.remove_prefix(sep + 1);
    }
}

RegistryFile FileOf(const RegKeyHandle& h) { return RegistryFile(kRootNames[h.root]); }

std::string_view ValueName(const char* name) { return name ? std::string_view(name) : std::string_view(); }

// Copies a name into a caller's buffer with the desktop's size convention.
LONG CopyName(const std::string& name, char* buffer, DWORD* size) {
    if (*size < name.size() + 1) {
        *size = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG CopyData(const RegValue& v, DWORD* type, BYTE* data, DWORD* dataSize) {
    if (type) *type = v.type;
    if (!dataSize) return ERROR_SUCCESS;
    const auto needed = static_cast<DWORD>(v.data.size());
    if (data && *dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    if (data && needed) std::memcpy(data, v.data.data(), needed);
    *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG ReadKey(const RegKeyHandle& h, RegKey& tree, RegKey*& key) {
    LONG r = FileOf(h).Read(tree);
    if (r != ERROR_SUCCESS) return r;
    key = tree.Find(h.path);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}
}  // namespace

const HKEY HKEY_CLASSES_ROOT = &g_roots[0];
const HKEY HKEY_CURRENT_USER = &g_roots[1];
const HKEY HKEY_LOCAL_MACHINE = &g_roots[2];

std::string RegistryDirectory() {
    if (const char* dir = std::getenv(kStoreDirEnv); dir && *dir) return dir;
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/" + kStoreDirName;
    std::string home = HomeDirectory();
    if (home.empty()) return {};
    return home + "/.config/" + kStoreDirName;
}

LONG RegCreateKeyExA(HKEY parent, const char* subKey, HKEY* result, DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    RegKeyHandle base;
    if (!Resolve(parent, base)) return ERROR_INVALID_HANDLE;
    std::vector<std::string> names;
    if (!SplitPath(subKey, names)) return ERROR_INVALID_PARAMETER;

    if (base.path.size() + names.size() > RegFileFormat::kMaxKeyDepth) return ERROR_BADKEY;
    std::vector<std::string> path = base.path;
    bool createdLast = false;
    LONG r = FileOf(base).Modify([&](RegKey& tree, bool& changed) {
        RegKey* key = tree.Find(base.path);
        if (!key) return ERROR_KEY_DELETED;
        for (const auto& name : names) {
            key = &key->AddChild(name, &createdLast);
            changed = changed || createdLast;
            path.push_back(key->Name());  // the stored spelling
        }
        return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS) return r;
    if (disposition) *disposition = createdLast ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(base.root, std::move(path));
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY parent, const char* subKey, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    RegKeyHandle base;
    if (!Resolve(parent, base)) return ERROR_INVALID_HANDLE;
    std::vector<std::string> names;
    if (!SplitPath(subKey, names)) return ERROR_INVALID_PARAMETER;
    RegKey tree;
    RegKey* key = nullptr;
    if (LONG r = ReadKey(base, tree, key); r != ERROR_SUCCESS) return r;
    std::vector<std::string> path = base.path;
    for (const auto& name : names) {
        key = key->Child(name);
        if (!key) return ERROR_FILE_NOT_FOUND;
        path.push_back(key->Name());
    }
    *result = NewHandle(base.root, std::move(path));
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (IsRoot(key)) return ERROR_SUCCESS;
    {
        std::lock_guard lock(g_handlesMutex);
        if (!key || OpenHandles().erase(key) == 0) return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* dataSize) {
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    RegKeyHandle h;
    if (!Resolve(key, h)) return ERROR_INVALID_HANDLE;
    RegKey tree;
    RegKey* k = nullptr;
    if (LONG r = ReadKey(h, tree, k); r != ERROR_SUCCESS) return r;
    const RegValue* v = k->Value(ValueName(valueName));
    if (!v) return ERROR_FILE_NOT_FOUND;
    return CopyData(*v, type, data, dataSize);
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD type, const BYTE* data, DWORD dataSize) {
    RegKeyHandle h;
    if (!Resolve(key, h)) return ERROR_INVALID_HANDLE;
    const std::string_view name = ValueName(valueName);
    if (!RegFileFormat::StorableValueName(name)) return ERROR_INVALID_PARAMETER;
    if (!data && dataSize > 0) return ERROR_INVALID_PARAMETER;
    if (type == REG_DWORD && dataSize != 4) return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> bytes(data, data + dataSize);
    if (type == REG_SZ && (bytes.empty() || bytes.back() != 0)) bytes.push_back(0);

    return FileOf(h).Modify([&](RegKey& tree, bool& changed) {
        RegKey* k = tree.Find(h.path);
        if (!k) return ERROR_KEY_DELETED;
        const RegValue* old = k->Value(name);
        changed = !old || old->type != type || old->data != bytes;
        if (changed) k->SetValue(name, type, std::move(bytes));
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
    RegKeyHandle h;
    if (!Resolve(key, h)) return ERROR_INVALID_HANDLE;
    return FileOf(h).Modify([&](RegKey& tree, bool& changed) {
        RegKey* k = tree.Find(h.path);
        if (!k) return ERROR_KEY_DELETED;
        changed = k->RemoveValue(ValueName(valueName));
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

namespace {
// Removes the key at parent + subKey; with keepIfChildren the desktop's refusal to
// delete a key that still has subkeys applies.
LONG DeleteKey(HKEY parent, const char* subKey, bool keepIfChildren) {
    RegKeyHandle h;
    if (!Resolve(parent, h)) return ERROR_INVALID_HANDLE;
    std::vector<std::string> names;
    if (!SplitPath(subKey, names)) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> path = h.path;
    path.insert(path.end(), names.begin(), names.end());
    if (path.empty()) return ERROR_ACCESS_DENIED;  // a root cannot go
    const std::string leaf = path.back();
    path.pop_back();
    return FileOf(h).Modify([&](RegKey& tree, bool& changed) {
        if (!tree.Find(h.path)) return ERROR_KEY_DELETED;
        RegKey* owner = tree.Find(path);
        RegKey* target = owner ? owner->Child(leaf) : nullptr;
        if (!target) return ERROR_FILE_NOT_FOUND;
        if (keepIfChildren && target->ChildCount() > 0) return ERROR_ACCESS_DENIED;
        changed = owner->RemoveChild(leaf);
        return ERROR_SUCCESS;
    });
}
}  // namespace

LONG RegDeleteKeyA(HKEY parent, const char* subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    return DeleteKey(parent, subKey, true);
}

LONG RegDeleteTreeA(HKEY parent, const char* subKey) {
    if (subKey && *subKey) return DeleteKey(parent, subKey, false);
    RegKeyHandle h;
    if (!Resolve(parent, h)) return ERROR_INVALID_HANDLE;
    return FileOf(h).Modify([&](RegKey& tree, bool& changed) {
        RegKey* k = tree.Find(h.path);
        if (!k) return ERROR_KEY_DELETED;
        changed = k->ChildCount() > 0 || !k->Values().empty();
        k->Clear();
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) {
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    RegKeyHandle h;
    if (!Resolve(key, h)) return ERROR_INVALID_HANDLE;
    RegKey tree;
    RegKey* k = nullptr;
    if (LONG r = ReadKey(h, tree, k); r != ERROR_SUCCESS) return r;
    const RegKey* child = k->ChildAt(index);
    if (!child) return ERROR_NO_MORE_ITEMS;
    return CopyName(child->Name(), name, nameSize);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data, DWORD* dataSize) {
    if (!name || !nameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    RegKeyHandle h;
    if (!Resolve(key, h)) return ERROR_INVALID_HANDLE;
    RegKey tree;
    RegKey* k = nullptr;
    if (LONG r = ReadKey(h, tree, k); r != ERROR_SUCCESS) return r;
    if (index >= k->Values().size()) return ERROR_NO_MORE_ITEMS;
    const RegValue& v = k->Values()[index];
    if (LONG r = CopyName(v.name, name, nameSize); r != ERROR_SUCCESS) return r;
    return CopyData(v, type, data, dataSize);
}

struct RegTransaction::State {
    RegistryFile::BatchPtr batch;  // null when this joined a batch already open
};

RegTransaction::RegTransaction(HKEY anyKeyOfTheRoot) {
    RegKeyHandle h;
    if (!Resolve(anyKeyOfTheRoot, h)) {
        status_ = ERROR_INVALID_HANDLE;
        return;
    }
    state_ = new State;
    status_ = FileOf(h).BeginBatch(state_->batch);
}

RegTransaction::~RegTransaction() { delete state_; }

LONG RegTransaction::Commit() {
    if (status_ != ERROR_SUCCESS) return status_;
    if (!state_->batch) return ERROR_SUCCESS;  // the outer batch writes
    return RegistryFile::CommitBatch(*state_->batch);
}
