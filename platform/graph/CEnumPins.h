#pragma once
#include "platform/graph/Interfaces.h"
#include <atomic>

class CBaseFilter;

// Enumerates a filter's pins; out of sync once the filter's pin set changes.
class CEnumPins : public IEnumPins {
public:
    // Starts at the first pin, or copies the position of another enumerator.
    CEnumPins(CBaseFilter* filter, const CEnumPins* copyFrom);
    virtual ~CEnumPins();
    CEnumPins(const CEnumPins&) = delete;
    CEnumPins& operator=(const CEnumPins&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cPins) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumPins** ppEnum) override;

private:
    bool AreWeOutOfSync() const;

    CBaseFilter* m_pFilter;  // held
    int m_Position = 0;
    LONG m_Version;
    std::atomic<LONG> m_cRef{1};
};
