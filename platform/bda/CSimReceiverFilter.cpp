#include "platform/bda/CSimReceiverFilter.h"
#include "platform/bda/CSimTunerFilter.h"

namespace {
constexpr CLSID CLSID_SimReceiverDevice = {0x2E7A9C14, 0x5B63, 0x4F0D, {0x9D, 0x41, 0x6C, 0x28, 0xE3, 0x1B, 0x70, 0x5A}};
}

CSimReceiverFilter::CSimReceiverFilter(size_t tunerIndex, bool accepts)
    : CBdaFilter("CSimReceiverFilter", CLSID_SimReceiverDevice), tunerIndex_(tunerIndex), accepts_(accepts) {
    input_ = AddInput(u"Input");
    output_ = AddOutput(u"Output");
}

HRESULT CSimReceiverFilter::CheckType(CBasePin* pin, const CMediaType* mt) {
    if (!IsTransportStream(mt)) return VFW_E_TYPE_NOT_ACCEPTED;
    if (pin == output_ && input_->IsConnected() && !(*mt == input_->CurrentMediaType())) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CSimReceiverFilter::ProposeType(CBasePin* pin, int position, CMediaType* mt) {
    if (pin != output_ || position > 0 || !input_->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    *mt = input_->CurrentMediaType();
    return S_OK;
}

HRESULT CSimReceiverFilter::CheckPeer(CBasePin* pin, IPin* peer) {
    if (pin != input_) return S_OK;
    if (!accepts_) return VFW_E_NO_ACCEPTABLE_TYPES;
    CSimTunerFilter* tuner = CSimTunerFilter::FromPin(peer);
    return tuner && tuner->Index() == tunerIndex_ ? S_OK : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CSimReceiverFilter::OnSample(CBdaInputPin*, IMediaSample* sample) {
    return output_->IsConnected() ? output_->Deliver(sample) : S_OK;
}
