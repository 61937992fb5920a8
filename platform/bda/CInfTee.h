#pragma once
// The infinite pin tee: one input, and a further output each time the last free output
// connects. Every sample goes to every connected output, the same sample object, in
// pin order, on the upstream thread.
#include "platform/bda/CBdaFilter.h"

class CInfTee final : public CBdaFilter {
public:
    CInfTee();
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);

    HRESULT CheckType(CBasePin* pin, const CMediaType* mt) override;
    HRESULT ProposeType(CBasePin* pin, int position, CMediaType* mt) override;
    void Connected(CBdaOutputPin* pin) override;
    HRESULT OnSample(CBdaInputPin* pin, IMediaSample* sample) override;

private:
    CBdaInputPin* input_;
    int outputs_ = 0;
};
