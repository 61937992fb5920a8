#include "platform/graph/CFilterMoniker.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"

namespace {
constexpr DWORD MKSYS_NONE = 0;
constexpr char kDisplayPrefix[] = "@device:sw:";
}

CFilterMoniker::CFilterMoniker(REFCLSID category, std::u16string instance, REFCLSID clsid,
                               std::u16string friendlyName, DWORD merit)
    : CUnknown("Filter moniker", nullptr),
      category_(category),
      instance_(std::move(instance)),
      clsid_(clsid),
      friendlyName_(std::move(friendlyName)),
      merit_(merit) {}

HRESULT CFilterMoniker::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMoniker || riid == IID_IPersistStream || riid == IID_IPersist)
        return GetInterface(static_cast<IMoniker*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFilterMoniker::GetClassID(CLSID*) { return E_NOTIMPL; }
HRESULT CFilterMoniker::IsDirty() { return S_FALSE; }
HRESULT CFilterMoniker::Load(IStream*) { return E_NOTIMPL; }
HRESULT CFilterMoniker::Save(IStream*, BOOL) { return E_NOTIMPL; }
HRESULT CFilterMoniker::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }

HRESULT CFilterMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID riidResult, void** ppvResult) {
    if (!ppvResult) return E_POINTER;
    *ppvResult = nullptr;
    return CoCreateInstance(clsid_, nullptr, CLSCTX_INPROC_SERVER, riidResult, ppvResult);
}

HRESULT CFilterMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID, void** ppvObj) {
    if (ppvObj) *ppvObj = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterMoniker::Reduce(IBindCtx*, DWORD, IMoniker** ppmkToLeft, IMoniker** ppmkReduced) {
    (void)ppmkToLeft;
    if (!ppmkReduced) return E_POINTER;
    // Already as short as it gets.
    *ppmkReduced = this;
    AddRef();
    return MakeHResult(0x000401E2u);  // MK_S_REDUCED_TO_SELF
}

HRESULT CFilterMoniker::ComposeWith(IMoniker*, BOOL, IMoniker** ppmkComposite) {
    if (ppmkComposite) *ppmkComposite = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterMoniker::Enum(BOOL, IEnumMoniker** ppenumMoniker) {
    if (!ppenumMoniker) return E_POINTER;
    // Not a composite: nothing to enumerate.
    *ppenumMoniker = nullptr;
    return S_OK;
}

HRESULT CFilterMoniker::IsEqual(IMoniker* other) {
    CFilterMoniker* o = FromMoniker(other);
    if (!o) return S_FALSE;
    return o->category_ == category_ && o->instance_ == instance_ ? S_OK : S_FALSE;
}

HRESULT CFilterMoniker::Hash(DWORD* pdwHash) {
    if (!pdwHash) return E_POINTER;
    DWORD h = 2166136261u;  // FNV-1a over the display name
    for (char16_t c : DisplayName()) h = (h ^ c) * 16777619u;
    *pdwHash = h;
    return S_OK;
}

HRESULT CFilterMoniker::IsRunning(IBindCtx*, IMoniker*, IMoniker*) { return S_FALSE; }
HRESULT CFilterMoniker::GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) { return E_NOTIMPL; }

HRESULT CFilterMoniker::Inverse(IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterMoniker::CommonPrefixWith(IMoniker*, IMoniker** ppmkPrefix) {
    if (ppmkPrefix) *ppmkPrefix = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterMoniker::RelativePathTo(IMoniker*, IMoniker** ppmkRelPath) {
    if (ppmkRelPath) *ppmkRelPath = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* ppszDisplayName) {
    if (!ppszDisplayName) return E_POINTER;
    *ppszDisplayName = nullptr;
    return AMGetWideString(DisplayName().c_str(), ppszDisplayName);
}

HRESULT CFilterMoniker::ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG* pchEaten, IMoniker** ppmkOut) {
    if (pchEaten) *pchEaten = 0;
    if (ppmkOut) *ppmkOut = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterMoniker::IsSystemMoniker(DWORD* pdwMksys) {
    if (!pdwMksys) return E_POINTER;
    *pdwMksys = MKSYS_NONE;
    return S_FALSE;
}

std::u16string CFilterMoniker::DisplayName() const {
    return WideFromUtf8(kDisplayPrefix + GuidToString(category_) + "\\") + instance_;
}

CFilterMoniker* CFilterMoniker::FromMoniker(IMoniker* moniker) { return dynamic_cast<CFilterMoniker*>(moniker); }
