#pragma once
// Enumerates a snapshot of a graph's filters, taken when the enumerator is made.
#include "platform/com/Unknown.h"
#include "platform/graph/Interfaces.h"
#include <mutex>
#include <vector>

class CEnumFilterList final : public CUnknown, public IEnumFilters {
public:
    explicit CEnumFilterList(std::vector<ComPtr<IBaseFilter>> filters, size_t position = 0);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // S_FALSE when fewer than cFilters were left.
    HRESULT Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cFilters) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumFilters** ppEnum) override;

private:
    std::mutex mutex_;
    std::vector<ComPtr<IBaseFilter>> filters_;
    size_t position_;
};
