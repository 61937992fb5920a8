#include "platform/bda/CInfTee.h"
#include "platform/bda/BdaInterfaces.h"
#include <new>
#include <string>

CInfTee::CInfTee() : CBdaFilter("CInfTee", CLSID_InfTee) {
    input_ = AddInput(u"Input");
    AddOutput(u"Output1");
    outputs_ = 1;
}

CUnknown* CInfTee::CreateInstance(IUnknown* outer, HRESULT* phr) {
    if (outer) {
        if (phr) *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* tee = new (std::nothrow) CInfTee;
    if (!tee && phr) *phr = E_OUTOFMEMORY;
    return tee;
}

HRESULT CInfTee::CheckType(CBasePin* pin, const CMediaType* mt) {
    if (pin == input_) return S_OK;
    // Outputs carry what the input carries, so the input connects first.
    return input_->IsConnected() && *mt == input_->CurrentMediaType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CInfTee::ProposeType(CBasePin* pin, int position, CMediaType* mt) {
    if (pin == input_ || position > 0 || !input_->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    *mt = input_->CurrentMediaType();
    return S_OK;
}

void CInfTee::Connected(CBdaOutputPin*) {
    const int pins = GetPinCount();
    for (int i = 0; i < pins; ++i) {
        CBasePin* pin = GetPin(i);
        if (pin->Direction() == PINDIR_OUTPUT && !pin->IsConnected()) return;
    }
    std::u16string name = u"Output";
    for (char c : std::to_string(++outputs_)) name += static_cast<char16_t>(c);
    AddOutput(name.c_str());
}

HRESULT CInfTee::OnSample(CBdaInputPin*, IMediaSample* sample) {
    for (CBdaOutputPin* out : ConnectedOutputs()) out->Deliver(sample);
    return S_OK;
}
