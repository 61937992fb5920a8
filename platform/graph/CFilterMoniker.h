#pragma once
// Names one filter registered with the filter mapper. Binding creates the filter by
// its class identifier; the display name is "@device:sw:{category}\{instance}".
#include "platform/graph/CBaseMoniker.h"
#include <string>

class CFilterMoniker final : public CBaseMoniker {
public:
    CFilterMoniker(REFCLSID category, std::u16string instance, REFCLSID clsid, std::u16string friendlyName,
                   DWORD merit);

    // Creates the filter in process (CoCreateInstance) and returns the asked interface.
    HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) override;
    // S_OK when the other moniker names the same registration.
    HRESULT IsEqual(IMoniker* pmkOtherMoniker) override;
    HRESULT Hash(DWORD* pdwHash) override;
    // Task-allocator text; the caller frees it with CoTaskMemFree.
    HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) override;

    const CLSID& Clsid() const { return clsid_; }
    const std::u16string& FriendlyName() const { return friendlyName_; }
    DWORD Merit() const { return merit_; }
    std::u16string DisplayName() const;

    // The filter moniker behind an interface pointer, or null for any other moniker.
    static CFilterMoniker* FromMoniker(IMoniker* moniker);

private:
    CLSID category_;
    std::u16string instance_;
    CLSID clsid_;
    std::u16string friendlyName_;
    DWORD merit_;
};
