#pragma once
// The system's tuning-space container: the declared tuning spaces, numbered from 1 in
// declaration order. Read-only.
#include "platform/bda/BdaInterfaces.h"
#include "platform/com/Unknown.h"
#include <vector>

class CTuningSpaceContainer final : public CUnknown, public ITuningSpaceContainer {
public:
    CTuningSpaceContainer();
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT get_Count(LONG* Count) override;
    HRESULT get__NewEnum(IEnumVARIANT** NewEnum) override;
    // VT_I4 (or VT_UI4) identifier 1 .. count; E_INVALIDARG for any other.
    HRESULT get_Item(VARIANT varIndex, ITuningSpace** TuningSpace) override;
    HRESULT put_Item(VARIANT varIndex, ITuningSpace* TuningSpace) override;
    HRESULT TuningSpacesForCLSID(BSTR SpaceCLSID, ITuningSpaces** NewColl) override;
    HRESULT _TuningSpacesForCLSID(REFCLSID SpaceCLSID, ITuningSpaces** NewColl) override;
    HRESULT TuningSpacesForName(BSTR Name, ITuningSpaces** NewColl) override;
    HRESULT FindID(ITuningSpace* TuningSpace, LONG* ID) override;
    HRESULT Add(ITuningSpace* TuningSpace, VARIANT* NewIndex) override;
    HRESULT get_EnumTuningSpaces(IEnumTuningSpaces** ppEnum) override;
    HRESULT Remove(VARIANT Index) override;
    HRESULT get_MaxCount(LONG* MaxCount) override;
    HRESULT put_MaxCount(LONG MaxCount) override;

private:
    std::vector<ComPtr<ITuningSpace>> spaces_;
};
