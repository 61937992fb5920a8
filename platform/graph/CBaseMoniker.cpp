#include "platform/graph/CBaseMoniker.h"

namespace {

constexpr DWORD MKSYS_NONE = 0;

template <class T>
HRESULT NoObject(T** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

}  // namespace

HRESULT CBaseMoniker::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMoniker || riid == IID_IPersistStream || riid == IID_IPersist)
        return GetInterface(static_cast<IMoniker*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseMoniker::GetClassID(CLSID*) { return E_NOTIMPL; }
HRESULT CBaseMoniker::IsDirty() { return S_FALSE; }
HRESULT CBaseMoniker::Load(IStream*) { return E_NOTIMPL; }
HRESULT CBaseMoniker::Save(IStream*, BOOL) { return E_NOTIMPL; }
HRESULT CBaseMoniker::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }

HRESULT CBaseMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID, void** ppvObj) { return NoObject(ppvObj); }

HRESULT CBaseMoniker::Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker** ppmkReduced) {
    if (!ppmkReduced) return E_POINTER;
    // Already as short as it gets.
    *ppmkReduced = this;
    AddRef();
    return MakeHResult(0x000401E2u);  // MK_S_REDUCED_TO_SELF
}

HRESULT CBaseMoniker::ComposeWith(IMoniker*, BOOL, IMoniker** ppmkComposite) { return NoObject(ppmkComposite); }

HRESULT CBaseMoniker::Enum(BOOL, IEnumMoniker** ppenumMoniker) {
    if (!ppenumMoniker) return E_POINTER;
    // Not a composite: nothing to enumerate.
    *ppenumMoniker = nullptr;
    return S_OK;
}

HRESULT CBaseMoniker::IsRunning(IBindCtx*, IMoniker*, IMoniker*) { return S_FALSE; }
HRESULT CBaseMoniker::GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) { return E_NOTIMPL; }
HRESULT CBaseMoniker::Inverse(IMoniker** ppmk) { return NoObject(ppmk); }
HRESULT CBaseMoniker::CommonPrefixWith(IMoniker*, IMoniker** ppmkPrefix) { return NoObject(ppmkPrefix); }
HRESULT CBaseMoniker::RelativePathTo(IMoniker*, IMoniker** ppmkRelPath) { return NoObject(ppmkRelPath); }
HRESULT CBaseMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* ppszDisplayName) {
    return NoObject(ppszDisplayName);
}

HRESULT CBaseMoniker::ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG* pchEaten, IMoniker** ppmkOut) {
    if (pchEaten) *pchEaten = 0;
    return NoObject(ppmkOut);
}

HRESULT CBaseMoniker::IsSystemMoniker(DWORD* pdwMksys) {
    if (!pdwMksys) return E_POINTER;
    *pdwMksys = MKSYS_NONE;
    return S_FALSE;
}
