#include "platform/com/ClassTable.h"
#include "platform/com/ComRuntime.h"
#include "platform/registry/Registry.h"
#include "platform/system/Library.h"
#include <vector>

namespace {
constexpr const char* kClsidKey = "CLSID\\";
constexpr const char* kServerKey = "\\InprocServer32";
constexpr const char* kEntryPoint = "DllGetClassObject";

// The default value of the class's server key; empty when the class is not registered.
std::string ServerPath(REFCLSID clsid) {
    std::string keyName = kClsidKey + GuidToString(clsid) + kServerKey;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName.c_str(), &key) != ERROR_SUCCESS) return {};
    std::string path;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ && size > 1) {
        std::vector<BYTE> data(size);
        if (RegQueryValueExA(key, nullptr, &type, data.data(), &size) == ERROR_SUCCESS && size > 0)
            path.assign(reinterpret_cast<const char*>(data.data()), size - 1);
    }
    RegCloseKey(key);
    // A text value holds one zero at most at its end; cut at an earlier one all the same.
    return path.substr(0, path.find('\0'));
}
}  // namespace

ClassTable& ClassTable::Instance() {
    // Never destroyed: factories may be revoked by static destructors at exit.
    static auto* table = new ClassTable;
    return *table;
}

HRESULT ClassTable::Register(REFCLSID clsid, IClassFactory* factory) {
    if (!factory) return E_POINTER;
    {
        std::lock_guard lock(m_);
        if (!factories_.try_emplace(clsid, factory).second) return CO_E_OBJISREG;
    }
    factory->AddRef();
    return S_OK;
}

HRESULT ClassTable::Revoke(REFCLSID clsid) {
    IClassFactory* factory = nullptr;
    {
        std::lock_guard lock(m_);
        auto it = factories_.find(clsid);
        if (it == factories_.end()) return CO_E_OBJNOTREG;
        factory = it->second;
        factories_.erase(it);
    }
    // Released outside the lock: the factory's destructor may call back in here.
    factory->Release();
    return S_OK;
}

IClassFactory* ClassTable::Find(REFCLSID clsid) {
    std::lock_guard lock(m_);
    auto it = factories_.find(clsid);
    if (it == factories_.end()) return nullptr;
    it->second->AddRef();
    return it->second;
}

void* ClassTable::LoadServer(const std::string& path) {
    {
        std::lock_guard lock(m_);
        if (auto it = libraries_.find(path); it != libraries_.end()) return it->second;
    }
    // Loaded without the lock held: the library's initialisers may register classes.
    void* library = LoadLibraryA(path.c_str());
    if (!library) return nullptr;
    std::lock_guard lock(m_);
    auto [it, inserted] = libraries_.try_emplace(path, library);
    if (!inserted) FreeLibrary(library);  // another thread got there first; same handle
    return it->second;
}

HRESULT ClassTable::GetFromRegistry(REFCLSID clsid, REFIID riid, void** ppv) {
    const std::string path = ServerPath(clsid);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    void* library = LoadServer(path);
    if (!library) return CO_E_DLLNOTFOUND;
    auto entry = reinterpret_cast<DllGetClassObjectFunction>(GetProcAddress(library, kEntryPoint));
    if (!entry) return CO_E_ERRORINDLL;
    return entry(clsid, riid, ppv);
}
