#pragma once
// The system device enumerator: the declared simulated devices of a category, in
// declaration order (network tuners; receiver components, tuner by tuner). Vanished
// tuners and their receivers are not listed.
#include "platform/bda/BdaInterfaces.h"
#include "platform/com/Unknown.h"

class CSystemDeviceEnum final : public CUnknown, public ICreateDevEnum {
public:
    CSystemDeviceEnum();
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD dwFlags) override;
};
