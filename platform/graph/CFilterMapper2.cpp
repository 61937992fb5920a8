#include "platform/graph/CFilterMapper2.h"
#include "platform/graph/CEnumMonikerList.h"
#include "platform/graph/CFilterMoniker.h"
#include "platform/com/WideString.h"
#include "platform/registry/Registry.h"
#include <algorithm>
#include <new>

namespace {

constexpr char kFriendlyName[] = "FriendlyName";
constexpr char kClsid[] = "CLSID";
constexpr char kFilterData[] = "FilterData";

// Closes a registry key when the scope ends.
class Key {
public:
    Key() = default;
    ~Key() { if (h_) RegCloseKey(h_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Out() { return &h_; }
    HKEY Get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

HRESULT FromRegistry(LONG err) { return HRESULT_FROM_WIN32(static_cast<uint32_t>(err)); }

bool QueryValue(HKEY key, const char* name, DWORD expectedType, std::vector<BYTE>* out) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, &type, nullptr, &size) != ERROR_SUCCESS || type != expectedType) return false;
    out->resize(size);
    if (RegQueryValueExA(key, name, &type, out->data(), &size) != ERROR_SUCCESS) return false;
    out->resize(size);
    return true;
}

bool QueryString(HKEY key, const char* name, std::string* out) {
    std::vector<BYTE> bytes;
    if (!QueryValue(key, name, REG_SZ, &bytes)) return false;
    out->assign(bytes.begin(), bytes.end());
    // Stored strings count their terminating zero.
    if (!out->empty() && out->back() == '\0') out->pop_back();
    return true;
}

bool TypeFits(const GUID& wanted, const GUID& registered, bool exact) {
    if (wanted == GUID_NULL) return true;
    if (registered == GUID_NULL) return !exact;
    return wanted == registered;
}

// Whether one pin of the right direction takes one of the wanted type pairs.
bool HasFittingPin(const FilterData& data, bool output, DWORD typeCount, const GUID* types, bool exact,
                   bool mustRender) {
    for (const FilterData::Pin& pin : data.pins) {
        if (pin.Output() != output) continue;
        if (mustRender && !pin.Rendered()) continue;
        if (typeCount == 0) return true;
        for (const FilterData::MediaType& t : pin.types)
            for (DWORD i = 0; i < typeCount; ++i)
                if (TypeFits(types[2 * i], t.major, exact) && TypeFits(types[2 * i + 1], t.minor, exact))
                    return true;
    }
    return false;
}

}  // namespace

CFilterMapper2::CFilterMapper2(IUnknown* outer) : CUnknown("Filter mapper", outer) {}

CUnknown* CFilterMapper2::CreateInstance(IUnknown* outer, HRESULT* phr) {
    auto* mapper = new (std::nothrow) CFilterMapper2(outer);
    if (!mapper && phr) *phr = E_OUTOFMEMORY;
    return mapper;
}

HRESULT CFilterMapper2::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IFilterMapper2) return GetInterface(static_cast<IFilterMapper2*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFilterMapper2::CreateCategory(REFCLSID, DWORD, LPCWSTR) { return E_NOTIMPL; }

std::string CFilterMapper2::InstanceKeyPath(REFCLSID category, const std::string& instance) {
    return "CLSID\\" + GuidToString(category) + "\\Instance\\" + instance;
}

FilterData CFilterMapper2::FromSetupData(const REGFILTER2& rf2) {
    FilterData data;
    data.merit = rf2.dwMerit;
    for (ULONG i = 0; i < rf2.cPins && rf2.rgPins; ++i) {
        const REGFILTERPINS& src = rf2.rgPins[i];
        FilterData::Pin pin;
        pin.name = src.strName ? std::u16string(src.strName) : std::u16string();
        pin.flags = (src.bRendered ? REG_PINFLAG_B_RENDERER : 0) | (src.bOutput ? REG_PINFLAG_B_OUTPUT : 0) |
                    (src.bZero ? REG_PINFLAG_B_ZERO : 0) | (src.bMany ? REG_PINFLAG_B_MANY : 0);
        if (src.clsConnectsToFilter) pin.connectsToFilter = *src.clsConnectsToFilter;
        if (src.strConnectsToPin) pin.connectsToPin = src.strConnectsToPin;
        for (UINT t = 0; t < src.nMediaTypes && src.lpMediaType; ++t) {
            FilterData::MediaType type;
            if (src.lpMediaType[t].clsMajorType) type.major = *src.lpMediaType[t].clsMajorType;
            if (src.lpMediaType[t].clsMinorType) type.minor = *src.lpMediaType[t].clsMinorType;
            pin.types.push_back(type);
        }
        data.pins.push_back(std::move(pin));
    }
    return data;
}

HRESULT CFilterMapper2::RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name, IMoniker** ppMoniker,
                                       const CLSID* pclsidCategory, LPCOLESTR szInstance, const REGFILTER2* prf2) {
    if (ppMoniker) *ppMoniker = nullptr;
    if (!Name || !prf2) return E_POINTER;
    if (prf2->dwVersion != 1) return E_INVALIDARG;
    if (prf2->cPins && !prf2->rgPins) return E_POINTER;

    const CLSID category = pclsidCategory ? *pclsidCategory : CLSID_LegacyAmFilterCategory;
    const std::string instance = szInstance ? WideToUtf8(szInstance) : GuidToString(clsidFilter);
    if (instance.empty() || instance.find('\\') != std::string::npos) return E_INVALIDARG;
    const std::string name = WideToUtf8(Name);
    const std::string clsidText = GuidToString(clsidFilter);
    const std::vector<BYTE> blob = FromSetupData(*prf2).Encode();

    Key key;
    LONG err = RegCreateKeyExA(HKEY_CLASSES_ROOT, InstanceKeyPath(category, instance).c_str(), key.Out());
    if (err != ERROR_SUCCESS) return FromRegistry(err);
    err = RegSetValueExA(key.Get(), kFriendlyName, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                         static_cast<DWORD>(name.size() + 1));
    if (err == ERROR_SUCCESS)
        err = RegSetValueExA(key.Get(), kClsid, REG_SZ, reinterpret_cast<const BYTE*>(clsidText.c_str()),
                             static_cast<DWORD>(clsidText.size() + 1));
    if (err == ERROR_SUCCESS)
        err = RegSetValueExA(key.Get(), kFilterData, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
    if (err != ERROR_SUCCESS) return FromRegistry(err);

    if (ppMoniker) {
        auto* moniker = new (std::nothrow)
            CFilterMoniker(category, WideFromUtf8(instance), clsidFilter, std::u16string(Name), prf2->dwMerit);
        if (!moniker) return E_OUTOFMEMORY;
        return moniker->NonDelegatingQueryInterface(IID_IMoniker, reinterpret_cast<void**>(ppMoniker));
    }
    return S_OK;
}

HRESULT CFilterMapper2::UnregisterFilter(const CLSID* pclsidCategory, LPCOLESTR szInstance, REFCLSID Filter) {
    const CLSID category = pclsidCategory ? *pclsidCategory : CLSID_LegacyAmFilterCategory;
    const std::string instance = szInstance ? WideToUtf8(szInstance) : GuidToString(Filter);
    if (instance.empty() || instance.find('\\') != std::string::npos) return E_INVALIDARG;
    LONG err = RegDeleteTreeA(HKEY_CLASSES_ROOT, InstanceKeyPath(category, instance).c_str());
    return FromRegistry(err);
}

std::vector<CFilterMapper2::Registration> CFilterMapper2::ReadCategory(REFCLSID category) {
    std::vector<Registration> out;
    Key instances;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidToString(category) + "\\Instance").c_str(),
                      instances.Out()) != ERROR_SUCCESS)
        return out;
    for (DWORD index = 0;; ++index) {
        char name[512];
        DWORD nameSize = sizeof name;
        LONG err = RegEnumKeyExA(instances.Get(), index, name, &nameSize);
        if (err == ERROR_NO_MORE_ITEMS) break;
        if (err != ERROR_SUCCESS) continue;  // a name too long for any instance we write
        Key entry;
        if (RegOpenKeyExA(instances.Get(), name, entry.Out()) != ERROR_SUCCESS) continue;
        std::string friendly, clsidText;
        std::vector<BYTE> blob;
        if (!QueryString(entry.Get(), kFriendlyName, &friendly) || !QueryString(entry.Get(), kClsid, &clsidText) ||
            !QueryValue(entry.Get(), kFilterData, REG_BINARY, &blob))
            continue;
        std::optional<GUID> clsid = GuidFromString(clsidText);
        std::optional<FilterData> data = FilterData::Decode(blob.data(), blob.size());
        if (!clsid || !data) continue;
        out.push_back(Registration{WideFromUtf8(name), *clsid, WideFromUtf8(friendly), std::move(*data)});
    }
    return out;
}

HRESULT CFilterMapper2::EnumMatchingFilters(IEnumMoniker** ppEnum, DWORD, BOOL bExactMatch, DWORD dwMerit,
                                            BOOL bInputNeeded, DWORD cInputTypes, const GUID* pInputTypes,
                                            const REGPINMEDIUM* pMedIn, const CLSID* pPinCategoryIn, BOOL bRender,
                                            BOOL bOutputNeeded, DWORD cOutputTypes, const GUID* pOutputTypes,
                                            const REGPINMEDIUM* pMedOut, const CLSID* pPinCategoryOut) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    if ((cInputTypes && !pInputTypes) || (cOutputTypes && !pOutputTypes)) return E_POINTER;

    std::vector<Registration> found;
    const bool impossible = pMedIn || pPinCategoryIn || pMedOut || pPinCategoryOut;
    if (!impossible) {
        for (Registration& r : ReadCategory(CLSID_LegacyAmFilterCategory)) {
            if (r.data.merit < dwMerit) continue;
            if ((bInputNeeded || cInputTypes || bRender) &&
                !HasFittingPin(r.data, false, cInputTypes, pInputTypes, bExactMatch, bRender))
                continue;
            if ((bOutputNeeded || cOutputTypes) &&
                !HasFittingPin(r.data, true, cOutputTypes, pOutputTypes, bExactMatch, false))
                continue;
            found.push_back(std::move(r));
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Registration& a, const Registration& b) { return a.data.merit > b.data.merit; });

    std::vector<ComPtr<IMoniker>> monikers;
    for (const Registration& r : found) {
        auto* moniker = new (std::nothrow)
            CFilterMoniker(CLSID_LegacyAmFilterCategory, r.instance, r.clsid, r.friendlyName, r.data.merit);
        if (!moniker) return E_OUTOFMEMORY;
        ComPtr<IMoniker> m;
        moniker->NonDelegatingQueryInterface(IID_IMoniker, reinterpret_cast<void**>(m.ReleaseAndGetAddressOf()));
        monikers.push_back(std::move(m));
    }
    auto* list = new (std::nothrow) CEnumMonikerList(std::move(monikers));
    if (!list) return E_OUTOFMEMORY;
    return list->NonDelegatingQueryInterface(IID_IEnumMoniker, reinterpret_cast<void**>(ppEnum));
}
