#pragma once
// The class object a module hands out for one of its templates.
#include "platform/com/Unknown.h"
#include "platform/graph/CFactoryTemplate.h"

class CClassFactory final : public IClassFactory, public CBaseObject {
public:
    // Starts without a reference: the caller takes one through QueryInterface or AddRef.
    // Counts as one of the module's objects for as long as it lives.
    CClassFactory(const CFactoryTemplate* factoryTemplate, ModuleCounts& counts);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // An outer object is only allowed for IID_IUnknown (CLASS_E_NOAGGREGATION otherwise).
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT LockServer(BOOL lock) override;

private:
    ~CClassFactory() override = default;

    ModuleObjectCount counted_;
    ModuleCounts& counts_;
    const CFactoryTemplate* template_;
    std::atomic<long> ref_{0};
};
