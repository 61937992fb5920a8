#include "platform/graph/PlatformClasses.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/CClassFactory.h"
#include "platform/graph/CFilterGraph.h"
#include "platform/graph/CFilterMapper2.h"
#include "platform/graph/CMemAllocator.h"
#include <new>

namespace {

CUnknown* NewMemAllocator(IUnknown* outer, HRESULT* phr) {
    auto* allocator = new (std::nothrow) CMemAllocator("CMemAllocator", outer, phr);
    if (!allocator && phr) *phr = E_OUTOFMEMORY;
    return allocator;
}

const CFactoryTemplate kTemplates[] = {
    {u"Filter Graph", &CLSID_FilterGraph, &CFilterGraph::CreateInstance, nullptr, nullptr},
    {u"Filter Mapper2", &CLSID_FilterMapper2, &CFilterMapper2::CreateInstance, nullptr, nullptr},
    {u"Memory Allocator", &CLSID_MemoryAllocator, &NewMemAllocator, nullptr, nullptr},
};

// The runtime library is never unloaded, so its counts are only informative. Never
// destroyed: the class table may release the factories during exit.
ModuleCounts& Counts() {
    static auto* counts = new ModuleCounts;
    return *counts;
}

}  // namespace

HRESULT RegisterPlatformClasses() {
    for (size_t i = 0; i < std::size(kTemplates); ++i) {
        auto* factory = new (std::nothrow) CClassFactory(&kTemplates[i], Counts());
        if (!factory) return E_OUTOFMEMORY;
        factory->AddRef();
        HRESULT hr = CoRegisterClassFactory(*kTemplates[i].m_ClsID, factory);
        factory->Release();  // the class table keeps its own reference
        // Registered by an earlier call (or by someone else): creating it works either way.
        if (FAILED(hr) && hr != CO_E_OBJISREG) return hr;
    }
    return S_OK;
}
