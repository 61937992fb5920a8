#include "feeds/bda/BdaGraphHelpers.h"

#include <functional>

#include "feeds/RegistrySettings.h"
#include "feeds/sdk/Feed.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"

namespace {

constexpr const char16_t* kFriendlyName = u"FriendlyName";
constexpr const char16_t* kSatelliteSpaceMark = u"VmDVB-S";
constexpr const char16_t* kSkippedReceivers[] = {u"BDA Slip De-Framer", u"BDA MPE filter"};
constexpr unsigned kPinsLooked = 10;
constexpr const char* kClassKeyFormat = "CLSID\\";
constexpr DWORD kClassNameSize = 260;
constexpr LONG kNotSet = -1;

void SetIdsNotSet(IDVBTuneRequest* request) {
    request->put_ONID(kNotSet);
    request->put_TSID(kNotSet);
    request->put_SID(kNotSet);
}

// The request and its DVB view, ready for a locator; nothing when either is missing.
ComPtr<IDVBTuneRequest> NewDvbRequest(ITuningSpace* space) {
    if (!space) return nullptr;
    ComPtr<ITuneRequest> plain;
    if (FAILED(space->CreateTuneRequest(plain.ReleaseAndGetAddressOf())) || !plain) return nullptr;
    ComPtr<IDVBTuneRequest> dvb;
    plain.As(IID_IDVBTuneRequest, &dvb);
    return dvb;
}

// Attaches the locator between the two rounds of "not set" identifiers.
ComPtr<IDVBTuneRequest> Finish(ComPtr<IDVBTuneRequest> request, ILocator* locator,
                               const std::function<void()>& setProperties) {
    SetIdsNotSet(request.Get());
    setProperties();
    request->put_Locator(locator);
    SetIdsNotSet(request.Get());
    return request;
}

std::optional<std::u16string> ReadFriendlyName(IMoniker* moniker) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf()))) ||
        !bag)
        return std::nullopt;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    std::optional<std::u16string> name;
    if (SUCCEEDED(bag->Read(kFriendlyName, &value, nullptr)) && value.vt == VT_BSTR)
        name = std::u16string(value.bstrVal ? value.bstrVal : u"");
    VariantClear(&value);
    return name;
}

// Visits the devices of the category in the platform's order until visit returns true.
void ForEachDevice(const GUID& category, const std::function<bool(IMoniker*)>& visit) {
    auto devices = CreateInProcess<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    if (!devices) return;
    ComPtr<IEnumMoniker> list;
    if (devices->CreateClassEnumerator(category, list.ReleaseAndGetAddressOf(), 0) != S_OK || !list) return;
    for (;;) {
        ComPtr<IMoniker> moniker;
        if (list->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) != S_OK || !moniker) return;
        if (visit(moniker.Get())) return;
    }
}

ComPtr<IBaseFilter> Bind(IMoniker* moniker) {
    ComPtr<IBaseFilter> filter;
    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()));
    return filter;
}

}  // namespace

const CLSID* BdaNetworkProviderClass(int32_t feedType) {
    switch (feedType) {
    case kFeedDvbS:
    case kFeedDvbS2: return &CLSID_DVBSNetworkProvider;
    case kFeedDvbC:
    case kFeedDvbC2: return &CLSID_DVBCNetworkProvider;
    case kFeedDvbT:
    case kFeedDvbT2: return &CLSID_DVBTNetworkProvider;
    case kFeedAtsc: return &CLSID_ATSCNetworkProvider;
    default: return nullptr;
    }
}

TuningSpaceResult SelectTuningSpace(ITuner* tuner, int32_t feedType, const CLSID& networkProvider,
                                    ComPtr<ITuningSpace>* chosen) {
    auto container = CreateInProcess<ITuningSpaceContainer>(CLSID_SystemTuningSpaces, IID_ITuningSpaceContainer);
    if (!container) return TuningSpaceResult::NoContainer;
    LONG count = 0;
    container->get_Count(&count);
    const bool needsMark = feedType == kFeedDvbS || feedType == kFeedDvbS2;
    // The container numbers from 1, so the walk asks for one more than the count.
    for (LONG i = 0; i <= count; ++i) {
        VARIANT key;
        VariantInit(&key);
        key.vt = VT_I4;
        key.lVal = i;
        ComPtr<ITuningSpace> space;
        if (FAILED(container->get_Item(key, space.ReleaseAndGetAddressOf())) || !space) continue;
        BSTR friendly = nullptr;
        space->get_FriendlyName(&friendly);
        const std::u16string name = friendly ? friendly : u"";
        SysFreeString(friendly);
        GUID network{};
        space->get__NetworkType(&network);
        if (network != networkProvider) continue;
        if (needsMark && name.find(kSatelliteSpaceMark) == std::u16string::npos) continue;
        if (tuner) tuner->put_TuningSpace(space.Get());
        *chosen = std::move(space);
        return TuningSpaceResult::Found;
    }
    return TuningSpaceResult::NoMatch;
}

ComPtr<IDVBTuneRequest> BuildDvbTRequest(ITuningSpace* space, LONG frequency, uint32_t bandwidth) {
    auto request = NewDvbRequest(space);
    if (!request) return nullptr;
    auto locator = CreateInProcess<IDVBTLocator>(CLSID_DVBTLocator, IID_IDVBTLocator);
    if (!locator) return nullptr;
    ComPtr<ILocator> plain;
    if (FAILED(locator.As(IID_ILocator, &plain)) || !plain) return nullptr;
    const LONG mhz = static_cast<uint8_t>(bandwidth);
    request = Finish(std::move(request), plain.Get(), [&] {
        locator->put_CarrierFrequency(frequency);
        locator->put_InnerFEC(BDA_FEC_METHOD_NOT_SET);
        locator->put_InnerFECRate(BDA_BCC_RATE_NOT_SET);
        locator->put_OuterFEC(BDA_FEC_METHOD_NOT_SET);
        locator->put_OuterFECRate(BDA_BCC_RATE_NOT_SET);
        locator->put_Modulation(BDA_MOD_NOT_SET);
        // Tuners have always been handed the bandwidth as the symbol rate too.
        locator->put_SymbolRate(mhz);
        locator->put_Bandwidth(mhz);
        locator->put_Guard(BDA_GUARD_NOT_SET);
        locator->put_HAlpha(BDA_HALPHA_NOT_SET);
        locator->put_LPInnerFEC(BDA_FEC_METHOD_NOT_SET);
        locator->put_LPInnerFECRate(BDA_BCC_RATE_NOT_SET);
        locator->put_Mode(BDA_XMIT_MODE_NOT_SET);
        locator->put_OtherFrequencyInUse(VARIANT_FALSE);
    });
    space->put_DefaultLocator(plain.Get());
    return request;
}

namespace {
// The satellite builders differ only in what they set between frequency and symbol rate.
ComPtr<IDVBTuneRequest> BuildSatellite(ITuningSpace* space, LONG frequency, LONG symbolRate, uint32_t horizontal,
                                       const std::function<void(IDVBSLocator*)>& modulation) {
    auto request = NewDvbRequest(space);
    if (!request) return nullptr;
    auto locator = CreateInProcess<IDVBSLocator>(CLSID_DVBSLocator, IID_IDVBSLocator);
    if (!locator) return nullptr;
    return Finish(std::move(request), locator.Get(), [&] {
        locator->put_Azimuth(kNotSet);
        locator->put_Elevation(kNotSet);
        locator->put_OrbitalPosition(0);
        locator->put_WestPosition(VARIANT_FALSE);
        locator->put_CarrierFrequency(frequency);
        modulation(locator.Get());
        locator->put_SymbolRate(symbolRate);
        locator->put_SignalPolarisation(horizontal ? BDA_POLARISATION_LINEAR_H : BDA_POLARISATION_LINEAR_V);
    });
}
}  // namespace

ComPtr<IDVBTuneRequest> BuildDvbSRequest(ITuningSpace* space, LONG frequency, LONG symbolRate, uint32_t horizontal) {
    // No FEC: the plain request has always left it to the tuner.
    return BuildSatellite(space, frequency, symbolRate, horizontal,
                          [](IDVBSLocator* locator) { locator->put_Modulation(BDA_MOD_QPSK); });
}

ComPtr<IDVBTuneRequest> BuildDvbSModulatedRequest(ITuningSpace* space, uint32_t modulationCode, LONG frequency,
                                                  LONG symbolRate, uint32_t horizontal) {
    return BuildSatellite(space, frequency, symbolRate, horizontal, [modulationCode](IDVBSLocator* locator) {
        locator->put_InnerFEC(BDA_FEC_VITERBI);
        locator->put_InnerFECRate(BDA_BCC_RATE_NOT_SET);
        locator->put_OuterFEC(BDA_FEC_RS_204_188);
        locator->put_OuterFECRate(BDA_BCC_RATE_NOT_SET);
        // DVB-S2 QPSK has long been sent as 8VSB; tuner drivers expect exactly that.
        switch (modulationCode) {
        case 0: locator->put_Modulation(BDA_MOD_QPSK); break;
        case 1: locator->put_Modulation(BDA_MOD_8VSB); break;
        case 2: locator->put_Modulation(BDA_MOD_8PSK); break;
        default: break;
        }
    });
}

ComPtr<IDVBTuneRequest> BuildDvbCRequest(ITuningSpace* space, LONG frequency, LONG symbolRate, uint32_t qamOrder) {
    auto request = NewDvbRequest(space);
    if (!request) return nullptr;
    auto locator = CreateInProcess<IDVBCLocator>(CLSID_DVBCLocator, IID_IDVBCLocator);
    if (!locator) return nullptr;
    ComPtr<ILocator> plain;
    if (FAILED(locator.As(IID_ILocator, &plain)) || !plain) return nullptr;
    return Finish(std::move(request), plain.Get(), [&] {
        locator->put_CarrierFrequency(frequency);
        locator->put_InnerFEC(BDA_FEC_RS_204_188);
        locator->put_InnerFECRate(BDA_BCC_RATE_NOT_SET);
        locator->put_OuterFEC(BDA_FEC_METHOD_NOT_SET);
        locator->put_OuterFECRate(BDA_BCC_RATE_NOT_SET);
        switch (qamOrder) {
        case 16: locator->put_Modulation(BDA_MOD_16QAM); break;
        case 32: locator->put_Modulation(BDA_MOD_32QAM); break;
        case 64: locator->put_Modulation(BDA_MOD_64QAM); break;
        case 128: locator->put_Modulation(BDA_MOD_128QAM); break;
        case 256: locator->put_Modulation(BDA_MOD_256QAM); break;
        default: break;
        }
        locator->put_SymbolRate(symbolRate);
    });
}

ComPtr<ITuneRequest> BuildAtscRequest(ITuningSpace* space, LONG channel) {
    if (!space) return nullptr;
    ComPtr<ITuneRequest> request;
    if (FAILED(space->CreateTuneRequest(request.ReleaseAndGetAddressOf())) || !request) return nullptr;
    auto locator = CreateInProcess<IATSCLocator>(CLSID_ATSCLocator, IID_IATSCLocator);
    if (!locator) return nullptr;
    ComPtr<ILocator> plain;
    if (FAILED(locator.As(IID_ILocator, &plain)) || !plain) return nullptr;
    locator->put_PhysicalChannel(channel);
    ComPtr<IATSCChannelTuneRequest> atsc;
    if (FAILED(request.As(IID_IATSCChannelTuneRequest, &atsc)) || !atsc) return nullptr;
    atsc->put_Channel(kNotSet);
    atsc->put_MinorChannel(kNotSet);
    atsc->put_Locator(plain.Get());
    return request;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction, unsigned n) {
    if (!filter) return nullptr;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf())) || !pins) return nullptr;
    unsigned counted = 0;
    for (unsigned looked = 0; looked < kPinsLooked; ++looked) {
        ComPtr<IPin> pin;
        if (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) != S_OK || !pin) return nullptr;
        PIN_DIRECTION own{};
        if (FAILED(pin->QueryDirection(&own)) || own != direction) continue;
        if (counted++ == n) return pin;
    }
    return nullptr;
}

HRESULT AddFilterByClsid(IGraphBuilder* graph, IBaseFilter* filter, const CLSID& clsid) {
    if (!graph) return E_POINTER;
    const std::string key = kClassKeyFormat + GuidToString(clsid);
    char name[kClassNameSize + 1] = {};
    if (!ReadRegString(HKEY_CLASSES_ROOT, key.c_str(), nullptr, name, kClassNameSize))
        return graph->AddFilter(filter, nullptr);
    return graph->AddFilter(filter, WideFromUtf8(name).c_str());
}

ComPtr<IBaseFilter> FindTunerByName(const WCHAR* name) {
    ComPtr<IBaseFilter> found;
    if (!name) return found;
    ForEachDevice(KSCATEGORY_BDA_NETWORK_TUNER, [&](IMoniker* moniker) {
        const auto friendly = ReadFriendlyName(moniker);
        if (!friendly || *friendly != name) return false;
        found = Bind(moniker);
        return true;
    });
    return found;
}

ComPtr<IBaseFilter> FindReceiverComponent(unsigned n, std::u16string* friendlyName) {
    ComPtr<IBaseFilter> found;
    unsigned counted = 0;
    ForEachDevice(KSCATEGORY_BDA_RECEIVER_COMPONENT, [&](IMoniker* moniker) {
        const auto friendly = ReadFriendlyName(moniker);
        const std::u16string name = friendly.value_or(u"");
        if (friendlyName) *friendlyName = name;
        for (const char16_t* skipped : kSkippedReceivers)
            if (name == skipped) return false;
        if (counted++ != n) return false;
        found = Bind(moniker);
        return true;
    });
    return found;
}

std::optional<std::u16string> NetworkTunerName(unsigned n) {
    std::optional<std::u16string> found;
    unsigned counted = 0;
    ForEachDevice(KSCATEGORY_BDA_NETWORK_TUNER, [&](IMoniker* moniker) {
        const auto friendly = ReadFriendlyName(moniker);
        if (!friendly) return false;
        if (counted++ != n) return false;
        found = friendly;
        return true;
    });
    return found;
}
