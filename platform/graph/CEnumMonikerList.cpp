#include "platform/graph/CEnumMonikerList.h"
#include <new>

CEnumMonikerList::CEnumMonikerList(std::vector<ComPtr<IMoniker>> monikers, size_t position)
    : CUnknown("Moniker enumerator", nullptr), monikers_(std::move(monikers)), position_(position) {}

HRESULT CEnumMonikerList::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IEnumMoniker) return GetInterface(static_cast<IEnumMoniker*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CEnumMonikerList::Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) {
    if (pceltFetched) *pceltFetched = 0;
    if (!rgelt) return E_POINTER;
    // Only a single item may be asked for without a count to report back.
    if (celt > 1 && !pceltFetched) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    ULONG fetched = 0;
    while (fetched < celt && position_ < monikers_.size()) {
        IMoniker* m = monikers_[position_++].Get();
        m->AddRef();
        rgelt[fetched++] = m;
    }
    if (pceltFetched) *pceltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
}

HRESULT CEnumMonikerList::Skip(ULONG celt) {
    std::lock_guard lock(mutex_);
    size_t left = monikers_.size() - position_;
    if (celt > left) {
        position_ = monikers_.size();
        return S_FALSE;
    }
    position_ += celt;
    return S_OK;
}

HRESULT CEnumMonikerList::Reset() {
    std::lock_guard lock(mutex_);
    position_ = 0;
    return S_OK;
}

HRESULT CEnumMonikerList::Clone(IEnumMoniker** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    std::lock_guard lock(mutex_);
    auto* copy = new (std::nothrow) CEnumMonikerList(monikers_, position_);
    if (!copy) return E_OUTOFMEMORY;
    return copy->NonDelegatingQueryInterface(IID_IEnumMoniker, reinterpret_cast<void**>(ppenum));
}
