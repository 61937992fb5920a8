#include "platform/bda/CBdaLocator.h"
#include <new>

namespace {
const char* KindText(LocatorKind kind) {
    switch (kind) {
    case LocatorKind::DVBS: return "DVBSLocator";
    case LocatorKind::DVBT: return "DVBTLocator";
    case LocatorKind::DVBC: return "DVBCLocator";
    case LocatorKind::ATSC: return "ATSCLocator";
    }
    return "unknown";
}

// Only our own locators answer this; it hands out the object itself.
constexpr IID IID_CBdaLocatorSelf = {0x6A1C5E20, 0x3B7D, 0x4E51, {0x9A, 0x0C, 0x52, 0x7E, 0x14, 0xB3, 0x88, 0x01}};

CUnknown* Create(LocatorKind kind, IUnknown* outer, HRESULT* phr) {
    auto* locator = new (std::nothrow) CBdaLocator(kind, outer);
    if (!locator && phr) *phr = E_OUTOFMEMORY;
    return locator;
}
}  // namespace

CBdaLocator::CBdaLocator(LocatorKind kind, IUnknown* outer)
    : CUnknown("CBdaLocator", outer), kind_(kind), props_(KindText(kind)) {}

CUnknown* CBdaLocator::CreateDVBS(IUnknown* outer, HRESULT* phr) { return Create(LocatorKind::DVBS, outer, phr); }
CUnknown* CBdaLocator::CreateDVBT(IUnknown* outer, HRESULT* phr) { return Create(LocatorKind::DVBT, outer, phr); }
CUnknown* CBdaLocator::CreateDVBC(IUnknown* outer, HRESULT* phr) { return Create(LocatorKind::DVBC, outer, phr); }
CUnknown* CBdaLocator::CreateATSC(IUnknown* outer, HRESULT* phr) { return Create(LocatorKind::ATSC, outer, phr); }

HRESULT CBdaLocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_ILocator || riid == IID_IDigitalLocator || riid == IID_IDispatch)
        return GetInterface(AsLocator(), ppv);
    if (riid == IID_IDVBSLocator && kind_ == LocatorKind::DVBS)
        return GetInterface(static_cast<IDVBSLocator*>(this), ppv);
    if (riid == IID_IDVBTLocator && kind_ == LocatorKind::DVBT)
        return GetInterface(static_cast<IDVBTLocator*>(this), ppv);
    // The cable locator adds nothing to the digital locator.
    if (riid == IID_IDVBCLocator && kind_ == LocatorKind::DVBC) return GetInterface(AsLocator(), ppv);
    if (riid == IID_IATSCLocator && kind_ == LocatorKind::ATSC)
        return GetInterface(static_cast<IATSCLocator*>(this), ppv);
    if (riid == IID_CBdaLocatorSelf) {
        *ppv = this;
        NonDelegatingAddRef();
        return S_OK;
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBdaLocator::Clone(ILocator** NewLocator) {
    if (NewLocator) *NewLocator = nullptr;
    return E_NOTIMPL;
}

CBdaLocator* CBdaLocator::FromLocator(ILocator* locator) {
    if (!locator) return nullptr;
    void* self = nullptr;
    if (FAILED(locator->QueryInterface(IID_CBdaLocatorSelf, &self)) || !self) return nullptr;
    auto* result = static_cast<CBdaLocator*>(self);
    result->NonDelegatingRelease();  // the caller's pointer keeps it alive
    return result;
}

const char* CBdaLocator::KindName(ILocator* locator) {
    if (!locator) return "null";
    CBdaLocator* own = FromLocator(locator);
    return own ? KindText(own->kind_) : "unknown";
}
