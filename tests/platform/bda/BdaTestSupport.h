#pragma once
// Shared pieces of the tuner framework tests: a fresh settings directory with the
// framework's classes registered, and small COM helpers.
#include "platform/bda/BdaSimulation.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/PlatformClasses.h"
#include "tests/platform/RegistryTestSupport.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

class BdaTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegisterPlatformClasses(), S_OK);
        ASSERT_EQ(RegisterBdaClasses(), S_OK);
        BdaSimulation::Reset();
    }
    void TearDown() override { BdaSimulation::Reset(); }

    ScopedRegistryHome home_;
};

template <class T>
ComPtr<T> Create(REFCLSID clsid, REFIID iid) {
    ComPtr<T> p;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(p.ReleaseAndGetAddressOf()));
    return p;
}

template <class T, class U>
ComPtr<T> Query(const ComPtr<U>& from, REFIID iid) {
    ComPtr<T> p;
    if (from) from->QueryInterface(iid, reinterpret_cast<void**>(p.ReleaseAndGetAddressOf()));
    return p;
}

// "FriendlyName" of a device moniker, or "<none>" when the bag has none.
inline std::string FriendlyNameOf(IMoniker* moniker) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf()))))
        return "<no bag>";
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = bag->Read(u"FriendlyName", &v, nullptr);
    std::string name = SUCCEEDED(hr) && v.vt == VT_BSTR ? WideToUtf8(v.bstrVal) : "<none>";
    VariantClear(&v);
    return name;
}

inline std::vector<ComPtr<IMoniker>> Devices(REFCLSID category) {
    std::vector<ComPtr<IMoniker>> out;
    auto devEnum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    ComPtr<IEnumMoniker> e;
    if (!devEnum || devEnum->CreateClassEnumerator(category, e.ReleaseAndGetAddressOf(), 0) != S_OK) return out;
    IMoniker* m = nullptr;
    while (e->Next(1, &m, nullptr) == S_OK) {
        ComPtr<IMoniker> p;
        p.Attach(m);
        out.push_back(p);
    }
    return out;
}

inline std::vector<std::string> DeviceNames(REFCLSID category) {
    std::vector<std::string> names;
    for (auto& m : Devices(category)) names.push_back(FriendlyNameOf(m.Get()));
    return names;
}

inline SimTunerDeclaration Tuner(const char* name, BdaNetwork network, std::vector<SimReceiverDeclaration> receivers = {}) {
    SimTunerDeclaration t;
    if (name) t.friendlyName = name;
    t.network = network;
    t.receivers = std::move(receivers);
    return t;
}
