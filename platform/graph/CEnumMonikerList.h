#pragma once
// Enumerates a fixed list of monikers, taken when the enumerator is made.
#include "platform/com/Unknown.h"
#include "platform/graph/Moniker.h"
#include <mutex>
#include <vector>

class CEnumMonikerList final : public CUnknown, public IEnumMoniker {
public:
    explicit CEnumMonikerList(std::vector<ComPtr<IMoniker>> monikers, size_t position = 0);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // S_FALSE when fewer than celt were left.
    HRESULT Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) override;
    HRESULT Skip(ULONG celt) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMoniker** ppenum) override;

private:
    std::mutex mutex_;
    std::vector<ComPtr<IMoniker>> monikers_;
    size_t position_;
};
