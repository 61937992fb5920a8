#include "platform/bda/CTSExportFilter.h"
#include "platform/bda/BdaSimulation.h"
#include "platform/system/Tick.h"
#include <new>

CTSExportFilter::CTSExportFilter(bool accepts) : CBdaFilter("CTSExportFilter", CLSID_TSExportFilter), accepts_(accepts) {
    AddInput(u"Input");
}

CUnknown* CTSExportFilter::CreateInstance(IUnknown* outer, HRESULT* phr) {
    if (outer) {
        if (phr) *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    BdaDeclaration d = BdaSimulation::Current();
    if (!d.exportFilterPresent) {
        if (phr) *phr = REGDB_E_CLASSNOTREG;
        return nullptr;
    }
    auto* filter = new (std::nothrow) CTSExportFilter(d.exportFilterAccepts);
    if (!filter && phr) *phr = E_OUTOFMEMORY;
    return filter;
}

HRESULT CTSExportFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IDSExport) return GetInterface(static_cast<IDSExport*>(this), ppv);
    return CBdaFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CTSExportFilter::SetSampleCallback(void* context, DSExportSampleFunction function) {
    std::lock_guard lock(callbackMutex_);
    context_ = context;
    function_ = function;
    return S_OK;
}

HRESULT CTSExportFilter::Reserved() { return E_NOTIMPL; }

LONGLONG CTSExportFilter::QueryTime() { return lastSample_.load(std::memory_order_relaxed); }

HRESULT CTSExportFilter::CheckType(CBasePin*, const CMediaType* mt) {
    return accepts_ && IsTransportStream(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTSExportFilter::OnSample(CBdaInputPin*, IMediaSample* sample) {
    lastSample_.store(GetTickCount(), std::memory_order_relaxed);
    std::lock_guard lock(callbackMutex_);
    if (function_) function_(context_, sample);
    return S_OK;
}
