#include "platform/graph/CMemAllocator.h"
#include "platform/graph/CMediaSample.h"
#include <new>
#include <sys/mman.h>
#include <unistd.h>

CMemAllocator::CMemAllocator(const char* name, IUnknown* outer, HRESULT* phr) : CBaseAllocator(name, outer, phr) {}

CMemAllocator::~CMemAllocator() { ReallyFree(); }

CMemAllocator* CMemAllocator::Create(const char* name) {
    HRESULT hr = S_OK;
    auto* allocator = new (std::nothrow) CMemAllocator(name, nullptr, &hr);
    if (!allocator) return nullptr;
    allocator->NonDelegatingAddRef();
    if (FAILED(hr)) {
        allocator->NonDelegatingRelease();
        return nullptr;
    }
    return allocator;
}

HRESULT CMemAllocator::Alloc() {
    HRESULT hr = CBaseAllocator::Alloc();
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE && m_pBuffer) return S_OK;  // same properties: keep the buffers

    ReallyFree();
    // SetProperties made prefix + size a whole number of alignment units.
    const size_t unit = static_cast<size_t>(m_lSize) + static_cast<size_t>(m_lPrefix);
    const size_t count = static_cast<size_t>(m_lCount);
    if (unit != 0 && count > (SIZE_MAX - static_cast<size_t>(m_lAlignment)) / unit) return E_OUTOFMEMORY;
    // Room to slide the start up to an alignment larger than a page.
    const size_t bytes = unit * count + static_cast<size_t>(m_lAlignment);
    void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (map == MAP_FAILED) return E_OUTOFMEMORY;
    m_pBuffer = static_cast<BYTE*>(map);
    m_mapped = bytes;

    const auto alignMask = static_cast<uintptr_t>(m_lAlignment) - 1;
    BYTE* next = reinterpret_cast<BYTE*>((reinterpret_cast<uintptr_t>(m_pBuffer) + alignMask) & ~alignMask);
    try {
        m_samples.reserve(count);
        m_lFree.reserve(count);
        for (size_t i = 0; i < count; ++i, next += unit) {
            m_samples.push_back(new CMediaSample("CMemAllocator sample", this, &hr, next + m_lPrefix, m_lSize));
        }
    } catch (const std::bad_alloc&) {
        ReallyFree();
        return E_OUTOFMEMORY;
    }
    // Stacked so that the first buffer is handed out first.
    for (auto it = m_samples.rbegin(); it != m_samples.rend(); ++it) m_lFree.push_back(*it);
    m_lAllocated = m_lCount;
    return S_OK;
}

void CMemAllocator::Free() {
    // The addresses stay for the next Commit; the pages go back until written again.
    if (m_pBuffer) madvise(m_pBuffer, m_mapped, MADV_DONTNEED);
}

void CMemAllocator::ReallyFree() {
    for (CMediaSample* sample : m_samples) delete sample;
    m_samples.clear();
    m_lFree.clear();
    m_lAllocated = 0;
    if (m_pBuffer) munmap(m_pBuffer, m_mapped);
    m_pBuffer = nullptr;
    m_mapped = 0;
}
