#pragma once
#include "platform/graph/CBaseFilter.h"

class CSourceStream;

// A source filter whose pins are CSourceStream output pins. The pins add and remove
// themselves; the filter deletes those still present when it goes away.
// Its own critical section is the filter's state lock.
class CSource : public CBaseFilter {
public:
    CSource(const char* name, IUnknown* outer, CLSID clsid, HRESULT* phr);
    ~CSource() override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    CCritSec* pStateLock() { return &m_cStateLock; }

    HRESULT AddPin(CSourceStream* pStream);
    // S_FALSE when the pin is not in the list.
    HRESULT RemovePin(CSourceStream* pStream);
    // Index in the pin list, -1 when not one of ours.
    int FindPinNumber(IPin* iPin);

protected:
    int m_iPins = 0;
    CSourceStream** m_paStreams = nullptr;
    CCritSec m_cStateLock;
};
