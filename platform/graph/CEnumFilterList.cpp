#include "platform/graph/CEnumFilterList.h"
#include <new>

CEnumFilterList::CEnumFilterList(std::vector<ComPtr<IBaseFilter>> filters, size_t position)
    : CUnknown("Filter enumerator", nullptr), filters_(std::move(filters)), position_(position) {}

HRESULT CEnumFilterList::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IEnumFilters) return GetInterface(static_cast<IEnumFilters*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CEnumFilterList::Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) {
    if (pcFetched) *pcFetched = 0;
    if (!ppFilter) return E_POINTER;
    if (cFilters > 1 && !pcFetched) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    ULONG fetched = 0;
    while (fetched < cFilters && position_ < filters_.size()) {
        IBaseFilter* f = filters_[position_++].Get();
        f->AddRef();
        ppFilter[fetched++] = f;
    }
    if (pcFetched) *pcFetched = fetched;
    return fetched == cFilters ? S_OK : S_FALSE;
}

HRESULT CEnumFilterList::Skip(ULONG cFilters) {
    std::lock_guard lock(mutex_);
    size_t left = filters_.size() - position_;
    if (cFilters > left) {
        position_ = filters_.size();
        return S_FALSE;
    }
    position_ += cFilters;
    return S_OK;
}

HRESULT CEnumFilterList::Reset() {
    std::lock_guard lock(mutex_);
    position_ = 0;
    return S_OK;
}

HRESULT CEnumFilterList::Clone(IEnumFilters** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    std::lock_guard lock(mutex_);
    auto* copy = new (std::nothrow) CEnumFilterList(filters_, position_);
    if (!copy) return E_OUTOFMEMORY;
    return copy->NonDelegatingQueryInterface(IID_IEnumFilters, reinterpret_cast<void**>(ppEnum));
}
