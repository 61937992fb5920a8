#include "platform/bda/CMpeg2Demultiplexer.h"
#include "platform/bda/BdaMediaTypes.h"
#include "platform/bda/BdaSimulation.h"
#include <new>
#include <string>

CMpeg2Demultiplexer::CMpeg2Demultiplexer(unsigned outputs) : CBdaFilter("CMpeg2Demultiplexer", CLSID_MPEG2Demultiplexer) {
    input_ = AddInput(u"MPEG-2 Stream");
    for (unsigned i = 0; i < outputs; ++i) {
        std::u16string name = i == 0 ? u"Video" : i == 1 ? u"Audio" : u"Sections ";
        if (i >= 2)
            for (char c : std::to_string(i - 1)) name += static_cast<char16_t>(c);
        outputs_.push_back(AddOutput(name.c_str()));
    }
}

CUnknown* CMpeg2Demultiplexer::CreateInstance(IUnknown* outer, HRESULT* phr) {
    if (outer) {
        if (phr) *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* demux = new (std::nothrow) CMpeg2Demultiplexer(BdaSimulation::Current().demuxOutputPins);
    if (!demux && phr) *phr = E_OUTOFMEMORY;
    return demux;
}

CMediaType CMpeg2Demultiplexer::OutputType(CBasePin* pin) {
    CMediaType mt;
    mt.InitMediaType();
    mt.SetFormatType(&FORMAT_None);
    if (pin == outputs_[0]) {
        mt.SetType(&MEDIATYPE_Video);
        mt.SetSubtype(&MEDIASUBTYPE_MPEG2_VIDEO);
    } else if (outputs_.size() > 1 && pin == outputs_[1]) {
        mt.SetType(&MEDIATYPE_Audio);
        mt.SetSubtype(&MEDIASUBTYPE_MPEG2_AUDIO);
    } else {
        mt.SetType(&MEDIATYPE_MPEG2_SECTIONS);
        mt.SetSubtype(&MEDIASUBTYPE_None);
    }
    return mt;
}

HRESULT CMpeg2Demultiplexer::CheckType(CBasePin* pin, const CMediaType* mt) {
    if (pin == input_) return IsTransportStream(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    CMediaType own = OutputType(pin);
    return *mt->Type() == *own.Type() && *mt->Subtype() == *own.Subtype() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMpeg2Demultiplexer::ProposeType(CBasePin* pin, int position, CMediaType* mt) {
    if (pin == input_ || position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = OutputType(pin);
    return S_OK;
}
