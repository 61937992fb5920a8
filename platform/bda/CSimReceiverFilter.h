#pragma once
// A simulated BDA receiver component: sits after its own tuner (and refuses any other,
// or every connection when declared so) and passes the stream on unchanged.
#include "platform/bda/CBdaFilter.h"

class CSimReceiverFilter final : public CBdaFilter {
public:
    CSimReceiverFilter(size_t tunerIndex, bool accepts);

    HRESULT CheckType(CBasePin* pin, const CMediaType* mt) override;
    HRESULT ProposeType(CBasePin* pin, int position, CMediaType* mt) override;
    HRESULT CheckPeer(CBasePin* pin, IPin* peer) override;
    HRESULT OnSample(CBdaInputPin* pin, IMediaSample* sample) override;

private:
    const size_t tunerIndex_;
    const bool accepts_;
    CBdaInputPin* input_;
    CBdaOutputPin* output_;
};
