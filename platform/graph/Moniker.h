#pragma once
// Monikers name an object that can be created later; the filter mapper hands out one
// per matching filter. Slot order as on the desktop.
#include "platform/graph/Interfaces.h"

struct IBindCtx;

// {0000000F-0000-0000-C000-000000000046}
constexpr IID IID_IMoniker = {0x0000000F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000102-0000-0000-C000-000000000046}
constexpr IID IID_IEnumMoniker = {0x00000102, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IMoniker : IPersistStream {
    virtual HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) = 0;
    virtual HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) = 0;
    virtual HRESULT Reduce(IBindCtx* pbc, DWORD dwReduceHowFar, IMoniker** ppmkToLeft, IMoniker** ppmkReduced) = 0;
    virtual HRESULT ComposeWith(IMoniker* pmkRight, BOOL fOnlyIfNotGeneric, IMoniker** ppmkComposite) = 0;
    virtual HRESULT Enum(BOOL fForward, IEnumMoniker** ppenumMoniker) = 0;
    virtual HRESULT IsEqual(IMoniker* pmkOtherMoniker) = 0;
    virtual HRESULT Hash(DWORD* pdwHash) = 0;
    virtual HRESULT IsRunning(IBindCtx* pbc, IMoniker* pmkToLeft, IMoniker* pmkNewlyRunning) = 0;
    virtual HRESULT GetTimeOfLastChange(IBindCtx* pbc, IMoniker* pmkToLeft, FILETIME* pFileTime) = 0;
    virtual HRESULT Inverse(IMoniker** ppmk) = 0;
    virtual HRESULT CommonPrefixWith(IMoniker* pmkOther, IMoniker** ppmkPrefix) = 0;
    virtual HRESULT RelativePathTo(IMoniker* pmkOther, IMoniker** ppmkRelPath) = 0;
    virtual HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) = 0;
    virtual HRESULT ParseDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR pszDisplayName, ULONG* pchEaten,
                                     IMoniker** ppmkOut) = 0;
    virtual HRESULT IsSystemMoniker(DWORD* pdwMksys) = 0;

protected:
    ~IMoniker() = default;
};

struct IEnumMoniker : IUnknown {
    virtual HRESULT Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMoniker** ppenum) = 0;

protected:
    ~IEnumMoniker() = default;
};
