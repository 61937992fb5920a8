#include "platform/graph/CFilterMoniker.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"

namespace {
constexpr char kDisplayPrefix[] = "@device:sw:";
}

CFilterMoniker::CFilterMoniker(REFCLSID category, std::u16string instance, REFCLSID clsid,
                               std::u16string friendlyName, DWORD merit)
    : CBaseMoniker("Filter moniker"),
      category_(category),
      instance_(std::move(instance)),
      clsid_(clsid),
      friendlyName_(std::move(friendlyName)),
      merit_(merit) {}

HRESULT CFilterMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID riidResult, void** ppvResult) {
    if (!ppvResult) return E_POINTER;
    *ppvResult = nullptr;
    return CoCreateInstance(clsid_, nullptr, CLSCTX_INPROC_SERVER, riidResult, ppvResult);
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

HRESULT CFilterMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* ppszDisplayName) {
    if (!ppszDisplayName) return E_POINTER;
    *ppszDisplayName = nullptr;
    return AMGetWideString(DisplayName().c_str(), ppszDisplayName);
}

std::u16string CFilterMoniker::DisplayName() const {
    return WideFromUtf8(kDisplayPrefix + GuidToString(category_) + "\\") + instance_;
}

CFilterMoniker* CFilterMoniker::FromMoniker(IMoniker* moniker) { return dynamic_cast<CFilterMoniker*>(moniker); }
