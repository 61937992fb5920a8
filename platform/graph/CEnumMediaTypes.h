#pragma once
#include "platform/graph/Interfaces.h"
#include <atomic>

class CBasePin;

// Enumerates the types a pin offers (its GetMediaType positions); out of sync once the
// pin's type version changes. Returned types are task-allocator copies that the
// caller frees with DeleteMediaType.
class CEnumMediaTypes : public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copyFrom);
    virtual ~CEnumMediaTypes();
    CEnumMediaTypes(const CEnumMediaTypes&) = delete;
    CEnumMediaTypes& operator=(const CEnumMediaTypes&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cMediaTypes) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMediaTypes** ppEnum) override;

private:
    bool AreWeOutOfSync() const;

    CBasePin* m_pPin;  // held (through its filter)
    int m_Position = 0;
    LONG m_Version;
    std::atomic<LONG> m_cRef{1};
};
