#include "platform/bda/BdaSimulation.h"
#include "platform/bda/CBdaLocator.h"
#include "platform/bda/CInfTee.h"
#include "platform/bda/CMpeg2Demultiplexer.h"
#include "platform/bda/CNetworkProvider.h"
#include "platform/bda/CSystemDeviceEnum.h"
#include "platform/bda/CTSExportFilter.h"
#include "platform/bda/CTuningSpaceContainer.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/CClassFactory.h"
#include "platform/registry/Registry.h"
#include <new>

namespace {

// Names as the system registers them under HKEY_CLASSES_ROOT\CLSID\{...}; graphs show them.
const CFactoryTemplate kTemplates[] = {
    {u"System Device Enum", &CLSID_SystemDeviceEnum, &CSystemDeviceEnum::CreateInstance, nullptr, nullptr},
    {u"System Tuning Spaces", &CLSID_SystemTuningSpaces, &CTuningSpaceContainer::CreateInstance, nullptr, nullptr},
    {u"DVB-S Locator", &CLSID_DVBSLocator, &CBdaLocator::CreateDVBS, nullptr, nullptr},
    {u"DVB-T Locator", &CLSID_DVBTLocator, &CBdaLocator::CreateDVBT, nullptr, nullptr},
    {u"DVB-C Locator", &CLSID_DVBCLocator, &CBdaLocator::CreateDVBC, nullptr, nullptr},
    {u"ATSC Locator", &CLSID_ATSCLocator, &CBdaLocator::CreateATSC, nullptr, nullptr},
    {u"DVBS Network Provider", &CLSID_DVBSNetworkProvider, &CNetworkProvider::CreateDVBS, nullptr, nullptr},
    {u"DVBC Network Provider", &CLSID_DVBCNetworkProvider, &CNetworkProvider::CreateDVBC, nullptr, nullptr},
    {u"DVBT Network Provider", &CLSID_DVBTNetworkProvider, &CNetworkProvider::CreateDVBT, nullptr, nullptr},
    {u"ATSC Network Provider", &CLSID_ATSCNetworkProvider, &CNetworkProvider::CreateATSC, nullptr, nullptr},
    {u"Infinite Pin Tee Filter", &CLSID_InfTee, &CInfTee::CreateInstance, nullptr, nullptr},
    {u"MPEG-2 Demultiplexer", &CLSID_MPEG2Demultiplexer, &CMpeg2Demultiplexer::CreateInstance, nullptr, nullptr},
    {u"Velmar TS Export Filter", &CLSID_TSExportFilter, &CTSExportFilter::CreateInstance, nullptr, nullptr},
};

ModuleCounts& Counts() {
    static auto* counts = new ModuleCounts;  // never destroyed: factories may outlive exit
    return *counts;
}

// The filters' names go where a graph looks them up when it adds them by class; written
// only where missing, so a normal start changes nothing.
void RegisterFilterNames() {
    RegTransaction batch(HKEY_CLASSES_ROOT);  // one rewrite of the store, not one per class
    bool changed = false;
    for (const CFactoryTemplate& t : kTemplates) {
        const std::string key = "CLSID\\" + GuidToString(*t.m_ClsID);
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), &k) == ERROR_SUCCESS) {
            DWORD size = 0;
            const bool named = RegQueryValueExA(k, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
            RegCloseKey(k);
            if (named) continue;
        }
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), &k) != ERROR_SUCCESS) continue;
        std::string name;
        for (const char16_t* p = t.m_Name; *p; ++p) name += static_cast<char>(*p);
        changed |= RegSetValueExA(k, nullptr, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                                  static_cast<DWORD>(name.size() + 1)) == ERROR_SUCCESS;
        RegCloseKey(k);
    }
    if (changed && batch.Status() == ERROR_SUCCESS) batch.Commit();
}

}  // namespace

HRESULT RegisterBdaClasses() {
    for (const CFactoryTemplate& t : kTemplates) {
        auto* factory = new (std::nothrow) CClassFactory(&t, Counts());
        if (!factory) return E_OUTOFMEMORY;
        factory->AddRef();
        HRESULT hr = CoRegisterClassFactory(*t.m_ClsID, factory);
        factory->Release();
        if (FAILED(hr) && hr != CO_E_OBJISREG) return hr;
    }
    RegisterFilterNames();
    return S_OK;
}
