#pragma once
// One of the system's tuning spaces: a friendly name and a network type (the network
// provider class it serves); makes tune requests of its kind.
#include "platform/bda/BdaInterfaces.h"
#include "platform/bda/CBdaPropertyRecord.h"
#include "platform/com/Unknown.h"
#include <string>

class CBdaTuningSpace final : public CUnknown, public IDVBSTuningSpace, public IATSCTuningSpace {
public:
    CBdaTuningSpace(std::u16string friendlyName, REFCLSID networkType);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // ITuningSpace
    HRESULT get_UniqueName(BSTR* Name) override;
    HRESULT put_UniqueName(BSTR Name) override;
    HRESULT get_FriendlyName(BSTR* Name) override;
    HRESULT put_FriendlyName(BSTR Name) override;
    HRESULT get_CLSID(BSTR* SpaceCLSID) override;
    HRESULT get_NetworkType(BSTR* NetworkTypeGuid) override;
    HRESULT put_NetworkType(BSTR NetworkTypeGuid) override;
    HRESULT get__NetworkType(GUID* NetworkTypeGuid) override;
    HRESULT put__NetworkType(REFCLSID NetworkTypeGuid) override;
    HRESULT CreateTuneRequest(ITuneRequest** TuneRequest) override;
    HRESULT EnumCategoryGUIDs(IEnumGUID** ppEnum) override;
    HRESULT EnumDeviceMonikers(IEnumMoniker** ppEnum) override;
    HRESULT get_DefaultPreferredComponentTypes(IComponentTypes** ComponentTypes) override;
    HRESULT put_DefaultPreferredComponentTypes(IComponentTypes* NewComponentTypes) override;
    HRESULT get_FrequencyMapping(BSTR* pMapping) override;
    HRESULT put_FrequencyMapping(BSTR Mapping) override;
    HRESULT get_DefaultLocator(ILocator** LocatorVal) override;
    HRESULT put_DefaultLocator(ILocator* LocatorVal) override;
    HRESULT Clone(ITuningSpace** NewTS) override;

    // IDVBTuningSpace, IDVBTuningSpace2, IDVBSTuningSpace
    BDA_RECORDED_PROPERTY(DVBSystemType, SystemType, DVB_Satellite)
    BDA_RECORDED_PROPERTY(LONG, NetworkID, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, LowOscillator, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, HighOscillator, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, LNBSwitch, kBdaNotSet)
    HRESULT get_InputRange(BSTR* InputRange) override;
    HRESULT put_InputRange(BSTR InputRange) override;
    BDA_RECORDED_PROPERTY(SpectralInversion, SpectralInversion, kBdaNotSet)

    // IAnalogTVTuningSpace, IATSCTuningSpace
    BDA_RECORDED_PROPERTY(LONG, MinChannel, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, MaxChannel, kBdaNotSet)
    BDA_RECORDED_PROPERTY(TunerInputType, InputType, TunerInputAntenna)
    BDA_RECORDED_PROPERTY(LONG, CountryCode, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, MinMinorChannel, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, MaxMinorChannel, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, MinPhysicalChannel, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, MaxPhysicalChannel, kBdaNotSet)

    ITuningSpace* AsTuningSpace() {
        return IsAtsc() ? static_cast<ITuningSpace*>(static_cast<IATSCTuningSpace*>(this))
                        : static_cast<ITuningSpace*>(static_cast<IDVBSTuningSpace*>(this));
    }
    // The friendly name as UTF-8, for the call log.
    static std::string NameOf(ITuningSpace* space);

private:
    bool IsAtsc() const { return atsc_; }
    std::u16string Text(const std::u16string& field) const;
    HRESULT SetText(std::u16string& field, BSTR text);

    CBdaPropertyRecord props_{"TuningSpace"};
    mutable std::mutex m_;
    std::u16string friendlyName_;
    std::u16string uniqueName_;
    std::u16string frequencyMapping_;
    std::u16string inputRange_;
    CLSID networkType_;
    const bool atsc_;  // fixed at creation: it decides the interfaces answered
    ComPtr<ILocator> defaultLocator_;
};
