#include "platform/bda/CBdaDeviceMoniker.h"
#include "platform/bda/CSimReceiverFilter.h"
#include "platform/bda/CSimTunerFilter.h"
#include "platform/com/WideString.h"
#include <new>

namespace {

constexpr char16_t kFriendlyName[] = u"FriendlyName";

// A device's read-only property bag.
class CDevicePropertyBag final : public CUnknown, public IPropertyBag {
public:
    explicit CDevicePropertyBag(std::optional<std::string> friendlyName)
        : CUnknown("CDevicePropertyBag", nullptr), friendlyName_(std::move(friendlyName)) {}

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IPropertyBag) return GetInterface(static_cast<IPropertyBag*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT Read(LPCOLESTR name, VARIANT* var, IErrorLog*) override {
        if (!name || !var) return E_POINTER;
        if (!WideEqual(name, kFriendlyName) || !friendlyName_) return E_INVALIDARG;
        if (var->vt != VT_EMPTY && var->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        std::u16string text = WideFromUtf8(*friendlyName_);
        BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!value) return E_OUTOFMEMORY;
        var->vt = VT_BSTR;
        var->bstrVal = value;
        return S_OK;
    }
    HRESULT Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    std::optional<std::string> friendlyName_;
};

// The desktop's device moniker class.
constexpr CLSID CLSID_CDeviceMoniker = {0x4315D437, 0x5B8C, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

}  // namespace

CBdaDeviceMoniker::CBdaDeviceMoniker(size_t tuner, int receiver, SimTunerDeclaration declared)
    : CBaseMoniker("CBdaDeviceMoniker"), tuner_(tuner), receiver_(receiver), declared_(std::move(declared)) {}

const std::optional<std::string>& CBdaDeviceMoniker::FriendlyName() const {
    return receiver_ < 0 ? declared_.friendlyName : declared_.receivers[static_cast<size_t>(receiver_)].friendlyName;
}

HRESULT CBdaDeviceMoniker::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_CDeviceMoniker;
    return S_OK;
}

HRESULT CBdaDeviceMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IBaseFilter && riid != IID_IUnknown) return E_NOINTERFACE;
    // A device that went away cannot be opened any more.
    if (declared_.friendlyName && BdaSimulation::IsVanished(*declared_.friendlyName)) return E_FAIL;
    CBdaFilter* filter = nullptr;
    if (receiver_ < 0)
        filter = new (std::nothrow) CSimTunerFilter(tuner_, declared_);
    else
        filter = new (std::nothrow) CSimReceiverFilter(tuner_, declared_.receivers[static_cast<size_t>(receiver_)].accepts);
    if (!filter) return E_OUTOFMEMORY;
    filter->NonDelegatingAddRef();
    HRESULT hr = filter->NonDelegatingQueryInterface(riid, ppv);
    filter->NonDelegatingRelease();
    return hr;
}

HRESULT CBdaDeviceMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IPropertyBag) return E_NOINTERFACE;
    auto* bag = new (std::nothrow) CDevicePropertyBag(FriendlyName());
    if (!bag) return E_OUTOFMEMORY;
    bag->NonDelegatingAddRef();
    HRESULT hr = bag->NonDelegatingQueryInterface(riid, ppv);
    bag->NonDelegatingRelease();
    return hr;
}

HRESULT CBdaDeviceMoniker::IsEqual(IMoniker* other) { return other == static_cast<IMoniker*>(this) ? S_OK : S_FALSE; }
HRESULT CBdaDeviceMoniker::Hash(DWORD* pdwHash) {
    if (!pdwHash) return E_POINTER;
    *pdwHash = static_cast<DWORD>(tuner_ * 131 + static_cast<size_t>(receiver_ + 1));
    return S_OK;
}
