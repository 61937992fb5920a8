#pragma once
// A network provider (DVB-S, DVB-C, DVB-T or ATSC): the filter in front of a tuner,
// with the tuner control. A tune request submitted before a tuner is connected is kept
// and handed to the tuner when it connects.
#include "platform/bda/BdaSimulation.h"
#include "platform/bda/CBdaFilter.h"

class CNetworkProvider final : public CBdaFilter, public ITuner {
public:
    explicit CNetworkProvider(BdaNetwork network);
    static CUnknown* CreateDVBS(IUnknown* outer, HRESULT* phr);
    static CUnknown* CreateDVBC(IUnknown* outer, HRESULT* phr);
    static CUnknown* CreateDVBT(IUnknown* outer, HRESULT* phr);
    static CUnknown* CreateATSC(IUnknown* outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // ITuner
    HRESULT get_TuningSpace(ITuningSpace** TuningSpace) override;
    HRESULT put_TuningSpace(ITuningSpace* TuningSpace) override;
    HRESULT EnumTuningSpaces(IEnumTuningSpaces** ppEnum) override;
    HRESULT get_TuneRequest(ITuneRequest** TuneRequest) override;
    // Refused (E_INVALIDARG) for a request from a tuning space of another network;
    // otherwise the connected tuner's answer, or S_OK while no tuner is connected.
    HRESULT put_TuneRequest(ITuneRequest* TuneRequest) override;
    HRESULT Validate(ITuneRequest* TuneRequest) override;
    HRESULT get_PreferredComponentTypes(IComponentTypes** ComponentTypes) override;
    HRESULT put_PreferredComponentTypes(IComponentTypes* ComponentTypes) override;
    HRESULT get_SignalStrength(LONG* Strength) override;
    HRESULT TriggerSignalEvents(LONG Interval) override;

    HRESULT CheckType(CBasePin* pin, const CMediaType* mt) override;
    HRESULT ProposeType(CBasePin* pin, int position, CMediaType* mt) override;
    void Connected(CBdaOutputPin* pin) override;

private:
    const BdaNetwork network_;
    const char* kind_;
    CBdaOutputPin* output_;
    std::mutex m_;
    ComPtr<ITuningSpace> space_;
    ComPtr<ITuneRequest> request_;
};
