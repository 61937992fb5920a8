#include "platform/bda/CSystemDeviceEnum.h"
#include "platform/bda/BdaSimulation.h"
#include "platform/bda/CBdaDeviceMoniker.h"
#include "platform/graph/CEnumMonikerList.h"
#include <new>

CSystemDeviceEnum::CSystemDeviceEnum() : CUnknown("CSystemDeviceEnum", nullptr) {}

CUnknown* CSystemDeviceEnum::CreateInstance(IUnknown* outer, HRESULT* phr) {
    if (outer) {
        if (phr) *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* e = new (std::nothrow) CSystemDeviceEnum;
    if (!e && phr) *phr = E_OUTOFMEMORY;
    return e;
}

HRESULT CSystemDeviceEnum::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_ICreateDevEnum) return GetInterface(static_cast<ICreateDevEnum*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CSystemDeviceEnum::CreateClassEnumerator(REFCLSID category, IEnumMoniker** ppEnum, DWORD) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    const bool tuners = category == KSCATEGORY_BDA_NETWORK_TUNER;
    if (!tuners && category != KSCATEGORY_BDA_RECEIVER_COMPONENT) return S_FALSE;

    const BdaDeclaration d = BdaSimulation::Current();
    std::vector<ComPtr<IMoniker>> monikers;
    auto add = [&](size_t tuner, int receiver) {
        auto* m = new (std::nothrow) CBdaDeviceMoniker(tuner, receiver, d.tuners[tuner]);
        if (!m) return false;
        m->NonDelegatingAddRef();
        ComPtr<IMoniker> p;
        p.Attach(static_cast<IMoniker*>(m));
        monikers.push_back(std::move(p));
        return true;
    };
    for (size_t i = 0; i < d.tuners.size(); ++i) {
        const SimTunerDeclaration& t = d.tuners[i];
        if (t.friendlyName && BdaSimulation::IsVanished(*t.friendlyName)) continue;
        if (tuners) {
            if (!add(i, -1)) return E_OUTOFMEMORY;
        } else {
            for (size_t r = 0; r < t.receivers.size(); ++r)
                if (!add(i, static_cast<int>(r))) return E_OUTOFMEMORY;
        }
    }
    if (monikers.empty()) return S_FALSE;
    auto* e = new (std::nothrow) CEnumMonikerList(std::move(monikers));
    if (!e) return E_OUTOFMEMORY;
    e->NonDelegatingAddRef();
    *ppEnum = static_cast<IEnumMoniker*>(e);
    return S_OK;
}
