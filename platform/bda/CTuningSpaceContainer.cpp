#include "platform/bda/CTuningSpaceContainer.h"
#include "platform/bda/BdaSimulation.h"
#include "platform/bda/CBdaTuningSpace.h"
#include "platform/com/WideString.h"
#include <new>

namespace {
template <class T>
HRESULT NoObject(T** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}
}  // namespace

CTuningSpaceContainer::CTuningSpaceContainer() : CUnknown("CTuningSpaceContainer", nullptr) {
    for (const SimTuningSpaceDeclaration& s : BdaSimulation::Current().tuningSpaces) {
        auto* space = new CBdaTuningSpace(WideFromUtf8(s.friendlyName), NetworkProviderClass(s.network));
        spaces_.push_back(ComPtr<ITuningSpace>(space->AsTuningSpace()));
    }
}

CUnknown* CTuningSpaceContainer::CreateInstance(IUnknown* outer, HRESULT* phr) {
    if (outer) {
        if (phr) *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    try {
        return new CTuningSpaceContainer;
    } catch (const std::bad_alloc&) {
        if (phr) *phr = E_OUTOFMEMORY;
        return nullptr;
    }
}

HRESULT CTuningSpaceContainer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_ITuningSpaceContainer || riid == IID_IDispatch)
        return GetInterface(static_cast<ITuningSpaceContainer*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CTuningSpaceContainer::get_Count(LONG* Count) {
    if (!Count) return E_POINTER;
    *Count = static_cast<LONG>(spaces_.size());
    return S_OK;
}

HRESULT CTuningSpaceContainer::get_Item(VARIANT varIndex, ITuningSpace** TuningSpace) {
    if (!TuningSpace) return E_POINTER;
    *TuningSpace = nullptr;
    if (varIndex.vt != VT_I4 && varIndex.vt != VT_UI4) return DISP_E_TYPEMISMATCH;
    const long long id = varIndex.vt == VT_I4 ? varIndex.lVal : static_cast<long long>(varIndex.ulVal);
    if (id < 1 || id > static_cast<long long>(spaces_.size())) return E_INVALIDARG;
    *TuningSpace = spaces_[static_cast<size_t>(id - 1)].Get();
    (*TuningSpace)->AddRef();
    return S_OK;
}

HRESULT CTuningSpaceContainer::get__NewEnum(IEnumVARIANT** NewEnum) { return NoObject(NewEnum); }
HRESULT CTuningSpaceContainer::put_Item(VARIANT, ITuningSpace*) { return E_NOTIMPL; }
HRESULT CTuningSpaceContainer::TuningSpacesForCLSID(BSTR, ITuningSpaces** NewColl) { return NoObject(NewColl); }
HRESULT CTuningSpaceContainer::_TuningSpacesForCLSID(REFCLSID, ITuningSpaces** NewColl) { return NoObject(NewColl); }
HRESULT CTuningSpaceContainer::TuningSpacesForName(BSTR, ITuningSpaces** NewColl) { return NoObject(NewColl); }
HRESULT CTuningSpaceContainer::FindID(ITuningSpace*, LONG*) { return E_NOTIMPL; }
HRESULT CTuningSpaceContainer::Add(ITuningSpace*, VARIANT*) { return E_NOTIMPL; }
HRESULT CTuningSpaceContainer::get_EnumTuningSpaces(IEnumTuningSpaces** ppEnum) { return NoObject(ppEnum); }
HRESULT CTuningSpaceContainer::Remove(VARIANT) { return E_NOTIMPL; }
HRESULT CTuningSpaceContainer::get_MaxCount(LONG* MaxCount) {
    if (!MaxCount) return E_POINTER;
    *MaxCount = static_cast<LONG>(spaces_.size());
    return S_OK;
}
HRESULT CTuningSpaceContainer::put_MaxCount(LONG) { return E_NOTIMPL; }
