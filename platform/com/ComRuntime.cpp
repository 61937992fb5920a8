#include "platform/com/ComRuntime.h"
#include "platform/com/ClassTable.h"

HRESULT CoRegisterClassFactory(REFCLSID clsid, IClassFactory* factory) {
    return ClassTable::Instance().Register(clsid, factory);
}

HRESULT CoRevokeClassFactory(REFCLSID clsid) { return ClassTable::Instance().Revoke(clsid); }

HRESULT CoGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IClassFactory* factory = ClassTable::Instance().Find(clsid)) {
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }
    return ClassTable::Instance().GetFromRegistry(clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // Every class here is served in process.
    if (!(clsContext & CLSCTX_INPROC)) return REGDB_E_CLASSNOTREG;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (!factory) return E_UNEXPECTED;
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}
