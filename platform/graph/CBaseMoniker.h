#pragma once
// A moniker that names one object: not composite, not saved, no display name unless a
// derived class gives one. Derived classes say how to bind and how to compare.
#include "platform/com/Unknown.h"
#include "platform/graph/Moniker.h"

class CBaseMoniker : public CUnknown, public IMoniker {
public:
    explicit CBaseMoniker(const char* name) : CUnknown(name, nullptr) {}

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT GetClassID(CLSID* pClassID) override;
    HRESULT IsDirty() override;
    HRESULT Load(IStream* pStm) override;
    HRESULT Save(IStream* pStm, BOOL fClearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* pcbSize) override;

    HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) override;
    HRESULT Reduce(IBindCtx* pbc, DWORD dwReduceHowFar, IMoniker** ppmkToLeft, IMoniker** ppmkReduced) override;
    HRESULT ComposeWith(IMoniker* pmkRight, BOOL fOnlyIfNotGeneric, IMoniker** ppmkComposite) override;
    HRESULT Enum(BOOL fForward, IEnumMoniker** ppenumMoniker) override;
    HRESULT IsRunning(IBindCtx* pbc, IMoniker* pmkToLeft, IMoniker* pmkNewlyRunning) override;
    HRESULT GetTimeOfLastChange(IBindCtx* pbc, IMoniker* pmkToLeft, FILETIME* pFileTime) override;
    HRESULT Inverse(IMoniker** ppmk) override;
    HRESULT CommonPrefixWith(IMoniker* pmkOther, IMoniker** ppmkPrefix) override;
    HRESULT RelativePathTo(IMoniker* pmkOther, IMoniker** ppmkRelPath) override;
    HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) override;
    HRESULT ParseDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR pszDisplayName, ULONG* pchEaten,
                             IMoniker** ppmkOut) override;
    HRESULT IsSystemMoniker(DWORD* pdwMksys) override;
};
