#pragma once
// Names one simulated device (a tuner, or one of a tuner's receiver components) found by
// the system device enumerator. Its storage is a property bag with the device's
// "FriendlyName" (when it has one); binding makes the device's filter.
#include "platform/bda/BdaSimulation.h"
#include "platform/graph/CBaseMoniker.h"

class CBdaDeviceMoniker final : public CBaseMoniker {
public:
    // receiver < 0: the tuner itself.
    CBdaDeviceMoniker(size_t tuner, int receiver, SimTunerDeclaration declared);

    HRESULT GetClassID(CLSID* pClassID) override;
    // IBaseFilter only; fails once the tuner has vanished.
    HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) override;
    // IPropertyBag only.
    HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) override;
    HRESULT IsEqual(IMoniker* pmkOtherMoniker) override;
    HRESULT Hash(DWORD* pdwHash) override;

private:
    const std::optional<std::string>& FriendlyName() const;

    size_t tuner_;
    int receiver_;
    SimTunerDeclaration declared_;
};
