#pragma once
// A feed that the host runs itself hands its samples to the filter in host-supplied mode.
#include "filter/TSFeedInterfaces.h"

// DataCallback with the filter's sample input as its context.
inline void PushSampleIntoFilter(void* context, IMediaSample* sample) {
    static_cast<ITSFeedSampleInput*>(context)->DeliverSample(sample);
    sample->Release();
}
