#pragma once
#include "platform/graph/CBaseAllocator.h"

// An allocator over one anonymous memory mapping. Pages are only backed when a buffer
// is first written, so a large, mostly idle allocator costs address space, not memory.
// The mapping is kept across decommit and commit (and reused while the properties stay
// the same); once decommitted with every sample back, its pages are given back to the
// system while the addresses stay reserved.
class CMemAllocator : public CBaseAllocator {
public:
    CMemAllocator(const char* name, IUnknown* outer, HRESULT* phr);
    ~CMemAllocator() override;

    // A new allocator with one reference; null when out of memory.
    static CMemAllocator* Create(const char* name = "CMemAllocator");

protected:
    HRESULT Alloc() override;
    void Free() override;

private:
    void ReallyFree();

    BYTE* m_pBuffer = nullptr;
    size_t m_mapped = 0;
    std::vector<CMediaSample*> m_samples;
};
