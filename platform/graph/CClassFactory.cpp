#include "platform/graph/CClassFactory.h"

CClassFactory::CClassFactory(const CFactoryTemplate* factoryTemplate, ModuleCounts& counts)
    : CBaseObject("Class factory"), counted_(counts), counts_(counts), template_(factoryTemplate) {}

HRESULT CClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CClassFactory::AddRef() { return static_cast<ULONG>(ref_.fetch_add(1) + 1); }

ULONG CClassFactory::Release() {
    long left = ref_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return static_cast<ULONG>(left < 0 ? 0 : left);
}

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // An aggregated object can only hand its inner unknown to the outer object.
    if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    if (!template_ || !template_->m_lpfnNew) return E_UNEXPECTED;

    HRESULT hr = S_OK;
    CUnknown* object = template_->CreateInstance(outer, &hr);
    if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    // The object counts its references from zero: hold one while asking, so that a
    // failed query deletes it.
    object->NonDelegatingAddRef();
    if (FAILED(hr)) {
        object->NonDelegatingRelease();
        return hr;
    }
    hr = object->NonDelegatingQueryInterface(riid, ppv);
    object->NonDelegatingRelease();
    return hr;
}

HRESULT CClassFactory::LockServer(BOOL lock) {
    if (lock) {
        counts_.locks.fetch_add(1);
        return S_OK;
    }
    // An unlock without a lock must not leave the count negative, or the module could
    // never be unloaded.
    long current = counts_.locks.load();
    while (current > 0) {
        if (counts_.locks.compare_exchange_weak(current, current - 1)) return S_OK;
    }
    return E_UNEXPECTED;
}
