#include "platform/graph/FilterRegistration.h"
#include "platform/com/Unknown.h"
#include "platform/graph/CFilterMapper2.h"
#include "platform/com/WideString.h"
#include "platform/registry/Registry.h"

namespace {

constexpr char kInprocServer[] = "InprocServer32";
constexpr char kThreadingModel[] = "ThreadingModel";
constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

LONG SetString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
}

std::string ClassKey(REFCLSID clsid) { return "CLSID\\" + GuidToString(clsid); }

}  // namespace

HRESULT AMovieSetupRegisterServer(REFCLSID clsid, LPCWSTR name, const std::string& modulePath,
                                  const char* threadingModel) {
    HKEY classKey = nullptr;
    LONG err = RegCreateKeyExA(HKEY_CLASSES_ROOT, ClassKey(clsid).c_str(), &classKey);
    if (err != ERROR_SUCCESS) return HRESULT_FROM_WIN32(err);
    err = SetString(classKey, nullptr, WideToUtf8(name));
    HKEY serverKey = nullptr;
    if (err == ERROR_SUCCESS) err = RegCreateKeyExA(classKey, kInprocServer, &serverKey);
    if (err == ERROR_SUCCESS) err = SetString(serverKey, nullptr, modulePath);
    if (err == ERROR_SUCCESS && threadingModel) err = SetString(serverKey, kThreadingModel, threadingModel);
    if (serverKey) RegCloseKey(serverKey);
    RegCloseKey(classKey);
    return HRESULT_FROM_WIN32(err);
}

HRESULT AMovieSetupUnregisterServer(REFCLSID clsid) {
    return HRESULT_FROM_WIN32(RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey(clsid).c_str()));
}

HRESULT AMovieSetupRegisterFilter2(const AMOVIESETUP_FILTER* setup, IFilterMapper2* mapper, BOOL doRegister) {
    if (!setup || !mapper) return E_POINTER;
    if (!setup->clsID) return E_INVALIDARG;
    if (!doRegister) return mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *setup->clsID);
    REGFILTER2 rf2{};
    rf2.dwVersion = 1;
    rf2.dwMerit = setup->dwMerit;
    rf2.cPins = setup->nPins;
    rf2.rgPins = setup->lpPin;
    return mapper->RegisterFilter(*setup->clsID, setup->strName ? setup->strName : u"", nullptr,
                                  &CLSID_LegacyAmFilterCategory, nullptr, &rf2);
}

HRESULT AMovieDllRegisterServer2(BOOL doRegister, const CFactoryTemplate* templates, int count,
                                 const std::string& modulePath) {
    if (count < 0) return E_INVALIDARG;
    if (count > 0 && !templates) return E_POINTER;
    for (int i = 0; i < count; ++i)
        if (!templates[i].m_ClsID) return E_INVALIDARG;

    ComPtr<IFilterMapper2> mapper;
    {
        auto* object = new (std::nothrow) CFilterMapper2(nullptr);
        if (!object) return E_OUTOFMEMORY;
        object->NonDelegatingQueryInterface(IID_IFilterMapper2,
                                            reinterpret_cast<void**>(mapper.ReleaseAndGetAddressOf()));
    }

    // One locked read-modify-write of the store: a register and an unregister running
    // at once leave one whole state or the other, never half of each.
    RegTransaction batch(HKEY_CLASSES_ROOT);
    if (batch.Status() != ERROR_SUCCESS) return HRESULT_FROM_WIN32(batch.Status());

    if (doRegister) {
        // Classes first: a filter the mapper offers must be creatable. A failure leaves
        // the batch unwritten, so nothing of it is registered.
        for (int i = 0; i < count; ++i) {
            HRESULT hr = AMovieSetupRegisterServer(*templates[i].m_ClsID, templates[i].m_Name, modulePath);
            if (FAILED(hr)) return hr;
        }
        for (int i = 0; i < count; ++i) {
            if (!templates[i].m_pAMovieSetup_Filter) continue;
            HRESULT hr = AMovieSetupRegisterFilter2(templates[i].m_pAMovieSetup_Filter, mapper.Get(), TRUE);
            if (FAILED(hr)) return hr;
        }
        return HRESULT_FROM_WIN32(batch.Commit());
    }

    HRESULT first = S_OK;
    auto note = [&first](HRESULT hr) {
        if (FAILED(hr) && hr != kNotFound && SUCCEEDED(first)) first = hr;
    };
    for (int i = 0; i < count; ++i)
        if (templates[i].m_pAMovieSetup_Filter)
            note(AMovieSetupRegisterFilter2(templates[i].m_pAMovieSetup_Filter, mapper.Get(), FALSE));
    for (int i = 0; i < count; ++i) note(AMovieSetupUnregisterServer(*templates[i].m_ClsID));
    note(HRESULT_FROM_WIN32(batch.Commit()));
    return first;
}
