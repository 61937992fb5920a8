#include "platform/bda/CNetworkProvider.h"
#include "platform/bda/BdaCallLog.h"
#include "platform/bda/BdaMediaTypes.h"
#include "platform/bda/CBdaTuneRequest.h"
#include "platform/bda/CBdaTuningSpace.h"
#include "platform/bda/CSimTunerFilter.h"
#include <new>

namespace {
const char* KindOf(BdaNetwork network) {
    switch (network) {
    case BdaNetwork::DVBS: return "DVBSNetworkProvider";
    case BdaNetwork::DVBC: return "DVBCNetworkProvider";
    case BdaNetwork::DVBT: return "DVBTNetworkProvider";
    case BdaNetwork::ATSC: return "ATSCNetworkProvider";
    }
    return "";
}

CUnknown* Create(BdaNetwork network, IUnknown* outer, HRESULT* phr) {
    if (outer) {
        if (phr) *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* provider = new (std::nothrow) CNetworkProvider(network);
    if (!provider && phr) *phr = E_OUTOFMEMORY;
    return provider;
}
}  // namespace

CNetworkProvider::CNetworkProvider(BdaNetwork network)
    : CBdaFilter("CNetworkProvider", NetworkProviderClass(network)), network_(network), kind_(KindOf(network)) {
    output_ = AddOutput(u"Antenna Out");
}

CUnknown* CNetworkProvider::CreateDVBS(IUnknown* outer, HRESULT* phr) { return Create(BdaNetwork::DVBS, outer, phr); }
CUnknown* CNetworkProvider::CreateDVBC(IUnknown* outer, HRESULT* phr) { return Create(BdaNetwork::DVBC, outer, phr); }
CUnknown* CNetworkProvider::CreateDVBT(IUnknown* outer, HRESULT* phr) { return Create(BdaNetwork::DVBT, outer, phr); }
CUnknown* CNetworkProvider::CreateATSC(IUnknown* outer, HRESULT* phr) { return Create(BdaNetwork::ATSC, outer, phr); }

HRESULT CNetworkProvider::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_ITuner) return GetInterface(static_cast<ITuner*>(this), ppv);
    return CBdaFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CNetworkProvider::get_TuningSpace(ITuningSpace** TuningSpace) {
    if (!TuningSpace) return E_POINTER;
    std::lock_guard lock(m_);
    *TuningSpace = space_.Get();
    if (*TuningSpace) (*TuningSpace)->AddRef();
    return S_OK;
}

HRESULT CNetworkProvider::put_TuningSpace(ITuningSpace* TuningSpace) {
    BdaCallLog::Add(std::string(kind_) + ".put_TuningSpace=" + CBdaTuningSpace::NameOf(TuningSpace));
    if (TuningSpace) {
        GUID type = GUID_NULL;
        if (FAILED(TuningSpace->get__NetworkType(&type)) || type != NetworkProviderClass(network_))
            return E_INVALIDARG;
    }
    std::lock_guard lock(m_);
    space_ = TuningSpace;
    return S_OK;
}

HRESULT CNetworkProvider::EnumTuningSpaces(IEnumTuningSpaces** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT CNetworkProvider::get_TuneRequest(ITuneRequest** TuneRequest) {
    if (!TuneRequest) return E_POINTER;
    std::lock_guard lock(m_);
    *TuneRequest = request_.Get();
    if (*TuneRequest) (*TuneRequest)->AddRef();
    return S_OK;
}

HRESULT CNetworkProvider::put_TuneRequest(ITuneRequest* TuneRequest) {
    BdaCallLog::Add(std::string(kind_) + ".put_TuneRequest=" + CBdaTuneRequest::KindName(TuneRequest));
    HRESULT hr = Validate(TuneRequest);
    if (FAILED(hr)) return hr;
    {
        std::lock_guard lock(m_);
        request_ = TuneRequest;
    }
    CSimTunerFilter* tuner = CSimTunerFilter::FromPin(output_->GetConnected());
    return tuner ? tuner->Tune(TuneRequest) : S_OK;
}

HRESULT CNetworkProvider::Validate(ITuneRequest* TuneRequest) {
    if (!TuneRequest) return E_POINTER;
    ComPtr<ITuningSpace> space;
    GUID type = GUID_NULL;
    if (FAILED(TuneRequest->get_TuningSpace(space.ReleaseAndGetAddressOf())) || !space ||
        FAILED(space->get__NetworkType(&type)) || type != NetworkProviderClass(network_))
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CNetworkProvider::get_PreferredComponentTypes(IComponentTypes** ComponentTypes) {
    if (ComponentTypes) *ComponentTypes = nullptr;
    return E_NOTIMPL;
}
HRESULT CNetworkProvider::put_PreferredComponentTypes(IComponentTypes*) { return E_NOTIMPL; }

HRESULT CNetworkProvider::get_SignalStrength(LONG* Strength) {
    if (!Strength) return E_POINTER;
    CSimTunerFilter* tuner = CSimTunerFilter::FromPin(output_->GetConnected());
    *Strength = tuner ? tuner->SignalStrength() : 0;
    return S_OK;
}

HRESULT CNetworkProvider::TriggerSignalEvents(LONG) { return E_NOTIMPL; }

HRESULT CNetworkProvider::CheckType(CBasePin*, const CMediaType* mt) {
    return *mt->Type() == KSDATAFORMAT_TYPE_BDA_ANTENNA && *mt->Subtype() == NetworkProviderClass(network_)
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CNetworkProvider::ProposeType(CBasePin*, int position, CMediaType* mt) {
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    mt->InitMediaType();
    mt->SetType(&KSDATAFORMAT_TYPE_BDA_ANTENNA);
    mt->SetSubtype(&NetworkProviderClass(network_));
    mt->SetFormatType(&FORMAT_None);
    return S_OK;
}

void CNetworkProvider::Connected(CBdaOutputPin* pin) {
    ComPtr<ITuneRequest> pending;
    {
        std::lock_guard lock(m_);
        pending = request_;
    }
    CSimTunerFilter* tuner = CSimTunerFilter::FromPin(pin->GetConnected());
    if (tuner && pending) tuner->Tune(pending.Get());
}
