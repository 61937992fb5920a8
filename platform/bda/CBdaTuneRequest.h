#pragma once
// A tune request made by a tuning space: a DVB request (network, stream and service
// identifiers) or an ATSC channel request (channel, minor channel), with its locator.
#include "platform/bda/BdaInterfaces.h"
#include "platform/bda/CBdaPropertyRecord.h"
#include "platform/com/Unknown.h"

class CBdaTuneRequest final : public CUnknown, public IDVBTuneRequest, public IATSCChannelTuneRequest {
public:
    CBdaTuneRequest(bool atsc, ITuningSpace* space);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // ITuneRequest
    HRESULT get_TuningSpace(ITuningSpace** TuningSpace) override;
    HRESULT get_Components(IComponents** Components) override;
    HRESULT Clone(ITuneRequest** NewTuneRequest) override;
    HRESULT get_Locator(ILocator** Locator) override;
    HRESULT put_Locator(ILocator* Locator) override;

    // IDVBTuneRequest
    BDA_RECORDED_PROPERTY(LONG, ONID, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, TSID, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, SID, kBdaNotSet)

    // IATSCChannelTuneRequest
    BDA_RECORDED_PROPERTY(LONG, Channel, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, MinorChannel, kBdaNotSet)

    ITuneRequest* AsTuneRequest() {
        return atsc_ ? static_cast<ITuneRequest*>(static_cast<IATSCChannelTuneRequest*>(this))
                     : static_cast<ITuneRequest*>(static_cast<IDVBTuneRequest*>(this));
    }
    // "DVBTuneRequest", "ATSCChannelTuneRequest"; "null" for none, "unknown" for others.
    static const char* KindName(ITuneRequest* request);

private:
    bool atsc_;
    CBdaPropertyRecord props_;
    ComPtr<ITuningSpace> space_;
    std::mutex locatorMutex_;
    ComPtr<ILocator> locator_;
};
