#include "platform/bda/CBdaTuningSpace.h"
#include "platform/bda/CBdaLocator.h"
#include "platform/bda/CBdaTuneRequest.h"
#include "platform/com/WideString.h"
#include <new>

namespace {
HRESULT CopyOut(const std::u16string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}
std::u16string FromBstr(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : std::u16string(); }
}  // namespace

CBdaTuningSpace::CBdaTuningSpace(std::u16string friendlyName, REFCLSID networkType)
    : CUnknown("CBdaTuningSpace", nullptr),
      friendlyName_(std::move(friendlyName)),
      uniqueName_(friendlyName_),
      networkType_(networkType),
      atsc_(networkType == CLSID_ATSCNetworkProvider) {}

HRESULT CBdaTuningSpace::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_ITuningSpace || riid == IID_IDispatch) return GetInterface(AsTuningSpace(), ppv);
    if (!atsc_ && (riid == IID_IDVBTuningSpace || riid == IID_IDVBTuningSpace2))
        return GetInterface(static_cast<IDVBSTuningSpace*>(this), ppv);
    if (!atsc_ && riid == IID_IDVBSTuningSpace && networkType_ == CLSID_DVBSNetworkProvider)
        return GetInterface(static_cast<IDVBSTuningSpace*>(this), ppv);
    if (atsc_ && (riid == IID_IATSCTuningSpace || riid == IID_IAnalogTVTuningSpace))
        return GetInterface(static_cast<IATSCTuningSpace*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBdaTuningSpace::SetText(std::u16string& field, BSTR text) {
    std::lock_guard lock(m_);
    field = FromBstr(text);
    return S_OK;
}

std::u16string CBdaTuningSpace::Text(const std::u16string& field) const {
    std::lock_guard lock(m_);
    return field;
}

HRESULT CBdaTuningSpace::get_UniqueName(BSTR* Name) { return CopyOut(Text(uniqueName_), Name); }
HRESULT CBdaTuningSpace::put_UniqueName(BSTR Name) { return SetText(uniqueName_, Name); }
HRESULT CBdaTuningSpace::get_FriendlyName(BSTR* Name) { return CopyOut(Text(friendlyName_), Name); }
HRESULT CBdaTuningSpace::put_FriendlyName(BSTR Name) { return SetText(friendlyName_, Name); }
HRESULT CBdaTuningSpace::get_CLSID(BSTR* SpaceCLSID) {
    if (SpaceCLSID) *SpaceCLSID = nullptr;
    return E_NOTIMPL;
}
HRESULT CBdaTuningSpace::get_NetworkType(BSTR* NetworkTypeGuid) {
    GUID type;
    {
        std::lock_guard lock(m_);
        type = networkType_;
    }
    return CopyOut(WideFromUtf8(GuidToString(type)), NetworkTypeGuid);
}
HRESULT CBdaTuningSpace::put_NetworkType(BSTR NetworkTypeGuid) {
    auto type = GuidFromString(WideToUtf8(FromBstr(NetworkTypeGuid)));
    if (!type) return E_INVALIDARG;
    return put__NetworkType(*type);
}
HRESULT CBdaTuningSpace::get__NetworkType(GUID* NetworkTypeGuid) {
    if (!NetworkTypeGuid) return E_POINTER;
    std::lock_guard lock(m_);
    *NetworkTypeGuid = networkType_;
    return S_OK;
}
HRESULT CBdaTuningSpace::put__NetworkType(REFCLSID NetworkTypeGuid) {
    std::lock_guard lock(m_);
    networkType_ = NetworkTypeGuid;
    return S_OK;
}

HRESULT CBdaTuningSpace::CreateTuneRequest(ITuneRequest** TuneRequest) {
    if (!TuneRequest) return E_POINTER;
    *TuneRequest = nullptr;
    auto* request = new (std::nothrow) CBdaTuneRequest(atsc_, AsTuningSpace());
    if (!request) return E_OUTOFMEMORY;
    *TuneRequest = request->AsTuneRequest();
    (*TuneRequest)->AddRef();
    return S_OK;
}

HRESULT CBdaTuningSpace::EnumCategoryGUIDs(IEnumGUID** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}
HRESULT CBdaTuningSpace::EnumDeviceMonikers(IEnumMoniker** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}
HRESULT CBdaTuningSpace::get_DefaultPreferredComponentTypes(IComponentTypes** ComponentTypes) {
    if (ComponentTypes) *ComponentTypes = nullptr;
    return E_NOTIMPL;
}
HRESULT CBdaTuningSpace::put_DefaultPreferredComponentTypes(IComponentTypes*) { return E_NOTIMPL; }
HRESULT CBdaTuningSpace::get_FrequencyMapping(BSTR* pMapping) { return CopyOut(Text(frequencyMapping_), pMapping); }
HRESULT CBdaTuningSpace::put_FrequencyMapping(BSTR Mapping) { return SetText(frequencyMapping_, Mapping); }
HRESULT CBdaTuningSpace::get_InputRange(BSTR* InputRange) { return CopyOut(Text(inputRange_), InputRange); }
HRESULT CBdaTuningSpace::put_InputRange(BSTR InputRange) { return SetText(inputRange_, InputRange); }

HRESULT CBdaTuningSpace::get_DefaultLocator(ILocator** LocatorVal) {
    if (!LocatorVal) return E_POINTER;
    std::lock_guard lock(m_);
    *LocatorVal = defaultLocator_.Get();
    if (*LocatorVal) (*LocatorVal)->AddRef();
    return S_OK;
}
HRESULT CBdaTuningSpace::put_DefaultLocator(ILocator* LocatorVal) {
    {
        std::lock_guard lock(m_);
        defaultLocator_ = LocatorVal;
    }
    props_.Note("put_DefaultLocator", CBdaLocator::KindName(LocatorVal));
    return S_OK;
}

HRESULT CBdaTuningSpace::Clone(ITuningSpace** NewTS) {
    if (NewTS) *NewTS = nullptr;
    return E_NOTIMPL;
}

std::string CBdaTuningSpace::NameOf(ITuningSpace* space) {
    if (!space) return "null";
    BSTR name = nullptr;
    if (FAILED(space->get_FriendlyName(&name))) return "unknown";
    std::string text = WideToUtf8(std::u16string_view(name ? name : u"", SysStringLen(name)));
    SysFreeString(name);
    return text;
}
