#pragma once
#include "platform/com/Unknown.h"
#include <map>
#include <mutex>
#include <string>

// The process's class factories: those registered in process, and the libraries
// loaded for classes registered in the registry (kept loaded, so that the factories
// and objects they hand out stay valid).
class ClassTable {
public:
    static ClassTable& Instance();

    HRESULT Register(REFCLSID clsid, IClassFactory* factory);
    HRESULT Revoke(REFCLSID clsid);
    // The in-process factory for clsid with a reference added, or null.
    IClassFactory* Find(REFCLSID clsid);
    // Asks the library registered for clsid (CLSID\{...}\InprocServer32) for its class object.
    HRESULT GetFromRegistry(REFCLSID clsid, REFIID riid, void** ppv);

private:
    ClassTable() = default;
    void* LoadServer(const std::string& path);

    std::mutex m_;
    std::map<CLSID, IClassFactory*> factories_;
    std::map<std::string, void*> libraries_;  // by path, never unloaded
};
