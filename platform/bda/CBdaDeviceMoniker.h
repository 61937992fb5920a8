#pragma once
// Names one simulated device (a tuner, or one of a tuner's receiver components) found by
// the system device enumerator. Its storage is a property bag with the device's
// "FriendlyName" (when it has one); binding makes the device's filter.
#include "platform/bda/BdaSimulation.h"
#include "platform/com/Unknown.h"

class CBdaDeviceMoniker final : public CUnknown, public IMoniker {
public:
    // receiver < 0: the tuner itself.
    CBdaDeviceMoniker(size_t tuner, int receiver, SimTunerDeclaration declared);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT GetClassID(CLSID* pClassID) override;
    HRESULT IsDirty() override;
    HRESULT Load(IStream* pStm) override;
    HRESULT Save(IStream* pStm, BOOL fClearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* pcbSize) override;

    // IBaseFilter only; fails once the tuner has vanished.
    HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) override;
    // IPropertyBag only.
    HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) override;
    HRESULT Reduce(IBindCtx* pbc, DWORD dwReduceHowFar, IMoniker** ppmkToLeft, IMoniker** ppmkReduced) override;
    HRESULT ComposeWith(IMoniker* pmkRight, BOOL fOnlyIfNotGeneric, IMoniker** ppmkComposite) override;
    HRESULT Enum(BOOL fForward, IEnumMoniker** ppenumMoniker) override;
    HRESULT IsEqual(IMoniker* pmkOtherMoniker) override;
    HRESULT Hash(DWORD* pdwHash) override;
    HRESULT IsRunning(IBindCtx* pbc, IMoniker* pmkToLeft, IMoniker* pmkNewlyRunning) override;
    HRESULT GetTimeOfLastChange(IBindCtx* pbc, IMoniker* pmkToLeft, FILETIME* pFileTime) override;
    HRESULT Inverse(IMoniker** ppmk) override;
    HRESULT CommonPrefixWith(IMoniker* pmkOther, IMoniker** ppmkPrefix) override;
    HRESULT RelativePathTo(IMoniker* pmkOther, IMoniker** ppmkRelPath) override;
    HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) override;
    HRESULT ParseDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR pszDisplayName, ULONG* pchEaten,
                             IMoniker** ppmkOut) override;
    HRESULT IsSystemMoniker(DWORD* pdwMksys) override;

private:
    const std::optional<std::string>& FriendlyName() const;

    size_t tuner_;
    int receiver_;
    SimTunerDeclaration declared_;
};
