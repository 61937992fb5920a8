#pragma once
// The filter mapper: keeps filter registrations in the registry under
// HKEY_CLASSES_ROOT\CLSID\{category}\Instance\{instance} with the values
// "FriendlyName" (REG_SZ), "CLSID" (REG_SZ, braced) and "FilterData" (REG_BINARY, see
// FilterData.h), and finds the registered filters that fit a connection.
#include "platform/com/Unknown.h"
#include "platform/graph/FilterData.h"
#include "platform/graph/Moniker.h"
#include <string>
#include <vector>

class CFilterMapper2 final : public CUnknown, public IFilterMapper2 {
public:
    explicit CFilterMapper2(IUnknown* outer);
    // Creation function for the class table.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CreateCategory(REFCLSID clsidCategory, DWORD dwCategoryMerit, LPCWSTR Description) override;
    // Removes the registration (null category: the legacy filter category; null
    // instance: the filter's braced class identifier). A missing one gives
    // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
    HRESULT UnregisterFilter(const CLSID* pclsidCategory, LPCOLESTR szInstance, REFCLSID Filter) override;
    // Takes REGFILTER2 version 1 data only (E_INVALIDARG otherwise); category and
    // instance default as for UnregisterFilter. ppMoniker, when given, receives a
    // moniker for the new registration.
    HRESULT RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name, IMoniker** ppMoniker, const CLSID* pclsidCategory,
                           LPCOLESTR szInstance, const REGFILTER2* prf2) override;
    // Filters of the legacy filter category whose merit is at least dwMerit and whose
    // pins fit the request, highest merit first. Type pairs (major, subtype) with
    // GUID_NULL in the request match anything; GUID_NULL in a registration matches
    // anything unless bExactMatch. Registrations carry no mediums or pin categories, so
    // a request naming one finds nothing.
    HRESULT EnumMatchingFilters(IEnumMoniker** ppEnum, DWORD dwFlags, BOOL bExactMatch, DWORD dwMerit,
                                BOOL bInputNeeded, DWORD cInputTypes, const GUID* pInputTypes,
                                const REGPINMEDIUM* pMedIn, const CLSID* pPinCategoryIn, BOOL bRender,
                                BOOL bOutputNeeded, DWORD cOutputTypes, const GUID* pOutputTypes,
                                const REGPINMEDIUM* pMedOut, const CLSID* pPinCategoryOut) override;

    struct Registration {
        std::u16string instance;
        CLSID clsid = GUID_NULL;
        std::u16string friendlyName;
        FilterData data;
    };
    // The readable registrations of a category in the registry's key order; entries
    // with a missing or damaged value are left out.
    static std::vector<Registration> ReadCategory(REFCLSID category);
    // "CLSID\{category}\Instance\<instance>"
    static std::string InstanceKeyPath(REFCLSID category, const std::string& instance);
    static FilterData FromSetupData(const REGFILTER2& rf2);
};
