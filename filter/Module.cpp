// The module's four exports and the classes it serves.
#include <new>
#include <string>

#include "filter/FeedFilter.h"
#include "filter/FeedPropertyPage.h"
#include "filter/TSFeedInterfaces.h"
#include "platform/graph/CClassFactory.h"
#include "platform/graph/FilterRegistration.h"
#include "platform/system/Library.h"

#define KESTREL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const AMOVIESETUP_MEDIATYPE kPinTypes[] = {
    {&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_TRANSPORT},
    {&MEDIATYPE_Stream, &KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT},
};

const AMOVIESETUP_PIN kPins[] = {
    {u"Antenna", FALSE, FALSE, TRUE, FALSE, &GUID_NULL, nullptr, 2, kPinTypes},
    {u"TS Out", FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 2, kPinTypes},
};

const AMOVIESETUP_FILTER kFilterSetup = {&CLSID_TSFeedFilter, kFeedFilterName, MERIT_DO_NOT_USE, 2, kPins};

const CFactoryTemplate kTemplates[] = {
    {kFeedFilterName, &CLSID_TSFeedFilter, &CFeedFilter::CreateInstance, nullptr, &kFilterSetup},
    {u"filter properties", &CLSID_TSFeedPropertyPage, &CFeedPropertyPage::CreateInstance, nullptr, nullptr},
};

std::string ModulePath() { return ModulePathOfAddress(reinterpret_cast<const void*>(&ModulePath)); }

}  // namespace

KESTREL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IClassFactory && riid != IID_IUnknown) return E_NOINTERFACE;
    for (const CFactoryTemplate& entry : kTemplates) {
        if (*entry.m_ClsID != clsid) continue;
        auto* factory = new (std::nothrow) CClassFactory(&entry, KestrelModuleCounts());
        if (!factory) return E_OUTOFMEMORY;
        factory->AddRef();
        *ppv = static_cast<IClassFactory*>(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

KESTREL_EXPORT HRESULT DllCanUnloadNow() {
    const ModuleCounts& counts = KestrelModuleCounts();
    return counts.locks.load() == 0 && counts.objects.load() == 0 ? S_OK : S_FALSE;
}

KESTREL_EXPORT HRESULT DllRegisterServer() {
    return AMovieDllRegisterServer2(TRUE, kTemplates, sizeof kTemplates / sizeof kTemplates[0], ModulePath());
}

KESTREL_EXPORT HRESULT DllUnregisterServer() {
    return AMovieDllRegisterServer2(FALSE, kTemplates, sizeof kTemplates / sizeof kTemplates[0], ModulePath());
}
