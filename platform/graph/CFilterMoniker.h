#pragma once
// Names one filter registered with the filter mapper. Binding creates the filter by
// its class identifier; the display name is "@device:sw:{category}\{instance}".
#include "platform/com/Unknown.h"
#include "platform/graph/Moniker.h"
#include <string>

class CFilterMoniker final : public CUnknown, public IMoniker {
public:
    CFilterMoniker(REFCLSID category, std::u16string instance, REFCLSID clsid, std::u16string friendlyName,
                   DWORD merit);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist / IPersistStream: a filter moniker is not saved.
    HRESULT GetClassID(CLSID* pClassID) override;
    HRESULT IsDirty() override;
    HRESULT Load(IStream* pStm) override;
    HRESULT Save(IStream* pStm, BOOL fClearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* pcbSize) override;

    // Creates the filter in process (CoCreateInstance) and returns the asked interface.
    HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) override;
    HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) override;
    HRESULT Reduce(IBindCtx* pbc, DWORD dwReduceHowFar, IMoniker** ppmkToLeft, IMoniker** ppmkReduced) override;
    HRESULT ComposeWith(IMoniker* pmkRight, BOOL fOnlyIfNotGeneric, IMoniker** ppmkComposite) override;
    HRESULT Enum(BOOL fForward, IEnumMoniker** ppenumMoniker) override;
    // S_OK when the other moniker names the same registration.
    HRESULT IsEqual(IMoniker* pmkOtherMoniker) override;
    HRESULT Hash(DWORD* pdwHash) override;
    HRESULT IsRunning(IBindCtx* pbc, IMoniker* pmkToLeft, IMoniker* pmkNewlyRunning) override;
    HRESULT GetTimeOfLastChange(IBindCtx* pbc, IMoniker* pmkToLeft, FILETIME* pFileTime) override;
    HRESULT Inverse(IMoniker** ppmk) override;
    HRESULT CommonPrefixWith(IMoniker* pmkOther, IMoniker** ppmkPrefix) override;
    HRESULT RelativePathTo(IMoniker* pmkOther, IMoniker** ppmkRelPath) override;
    // Task-allocator text; the caller frees it with CoTaskMemFree.
    HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) override;
    HRESULT ParseDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR pszDisplayName, ULONG* pchEaten,
                             IMoniker** ppmkOut) override;
    HRESULT IsSystemMoniker(DWORD* pdwMksys) override;

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
