#pragma once
// The MPEG-2 demultiplexer as the tuner graph uses it: takes the transport stream and
// offers elementary-stream outputs (video, audio, then section pins). With no stream
// mapped to any output, it consumes what it receives.
#include "platform/bda/CBdaFilter.h"

class CMpeg2Demultiplexer final : public CBdaFilter {
public:
    explicit CMpeg2Demultiplexer(unsigned outputs);
    // Output count from the current BdaSimulation declaration.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);

    HRESULT CheckType(CBasePin* pin, const CMediaType* mt) override;
    HRESULT ProposeType(CBasePin* pin, int position, CMediaType* mt) override;

private:
    CMediaType OutputType(CBasePin* pin);
    CBdaInputPin* input_;
    std::vector<CBdaOutputPin*> outputs_;
};
