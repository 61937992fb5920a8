#pragma once
// The TS export filter: one input that takes the transport stream, and IDSExport, which
// hands every sample that arrives to the registered function on the streaming thread.
#include "platform/bda/CBdaFilter.h"
#include "platform/bda/BdaInterfaces.h"
#include <atomic>

class CTSExportFilter final : public CBdaFilter, public IDSExport {
public:
    explicit CTSExportFilter(bool accepts);
    // Absent or refusing as the current BdaSimulation declaration says.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT SetSampleCallback(void* context, DSExportSampleFunction function) override;
    HRESULT Reserved() override;
    LONGLONG QueryTime() override;

    HRESULT CheckType(CBasePin* pin, const CMediaType* mt) override;
    HRESULT OnSample(CBdaInputPin* pin, IMediaSample* sample) override;

private:
    const bool accepts_;
    std::mutex callbackMutex_;  // a new function never races a call of the old one
    void* context_ = nullptr;
    DSExportSampleFunction function_ = nullptr;
    std::atomic<LONGLONG> lastSample_{0};
};
