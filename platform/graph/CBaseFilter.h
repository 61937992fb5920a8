#pragma once
#include "platform/com/Unknown.h"
#include "platform/graph/Interfaces.h"
#include "platform/system/CritSec.h"
#include <atomic>
#include <string>

class CBasePin;
struct IMediaEventSink;

// A filter with a fixed set of pins supplied by the subclass (GetPinCount/GetPin).
// State changes run under the filter lock and reach connected pins only: Pause from
// stopped activates them, Stop inactivates them, Run passes the start time on.
class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    CBaseFilter(const char* name, IUnknown* outer, CCritSec* lock, REFCLSID clsid, HRESULT* phr = nullptr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    HRESULT GetClassID(CLSID* pClsID) override;

    // IMediaFilter
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;

    // IBaseFilter
    HRESULT EnumPins(IEnumPins** ppEnum) override;
    HRESULT FindPin(LPCWSTR Id, IPin** ppPin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
    // The graph pointer is not counted: the graph holds the filter, not the reverse.
    HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
    HRESULT QueryVendorInfo(LPWSTR* pVendorInfo) override;

    // IAMovieSetup: registration goes through the module's own routine instead.
    HRESULT Register() override;
    HRESULT Unregister() override;

    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;
    virtual const AMOVIESETUP_FILTER* GetSetupData() { return nullptr; }

    // Reports an event to the graph's event sink; E_NOTIMPL when the graph has none.
    // EC_COMPLETE gets this filter as its second parameter.
    HRESULT NotifyEvent(long eventCode, LONG_PTR param1, LONG_PTR param2);

    BOOL IsActive();
    BOOL IsStopped() const { return m_State == State_Stopped; }
    FILTER_STATE CurrentState() const { return m_State; }
    IFilterGraph* GetFilterGraph() const { return m_pGraph; }
    CCritSec* pStateLock() const { return m_pLock; }
    LONG GetPinVersion() const { return m_PinVersion.load(); }
    void IncrementPinVersion() { ++m_PinVersion; }

protected:
    std::atomic<FILTER_STATE> m_State{State_Stopped};
    IReferenceClock* m_pClock = nullptr;  // held
    REFERENCE_TIME m_tStart = 0;
    CLSID m_clsid;
    CCritSec* m_pLock;
    std::u16string m_name;  // given by the graph
    IFilterGraph* m_pGraph = nullptr;
    std::atomic<IMediaEventSink*> m_pSink{nullptr};  // not counted; read by streaming threads
    std::atomic<LONG> m_PinVersion{1};
};
