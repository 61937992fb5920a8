// A tiny in-process server library, loaded through the registry by the COM tests.
#include "TestServerInterface.h"

namespace {
ModuleCounts g_counts;

class TestObject final : public CUnknown, public ITestValue {
public:
    TestObject() : CUnknown("test object", nullptr), count_(g_counts) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_ITestValue) return GetInterface(static_cast<ITestValue*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    int GetValue() override { return kTestServerValue; }

private:
    ModuleObjectCount count_;
};

class Factory final : public IClassFactory {
public:
    Factory() { ++g_counts.objects; }
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) return GetInterface(this, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG Release() override {
        long left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* object = new TestObject;
        object->NonDelegatingAddRef();
        HRESULT hr = object->NonDelegatingQueryInterface(riid, ppv);
        object->NonDelegatingRelease();
        return hr;
    }
    HRESULT LockServer(BOOL lock) override {
        lock ? ++g_counts.locks : --g_counts.locks;
        return S_OK;
    }

private:
    ~Factory() { --g_counts.objects; }
    std::atomic<long> refs_{0};
};
}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IClassFactory && riid != IID_IUnknown) return E_NOINTERFACE;
    if (clsid != CLSID_TestServerObject) return CLASS_E_CLASSNOTAVAILABLE;
    return (new Factory)->QueryInterface(riid, ppv);
}

extern "C" __attribute__((visibility("default"))) long TestServerObjectCount() { return g_counts.objects.load(); }
