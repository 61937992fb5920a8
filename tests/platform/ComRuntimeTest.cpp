#include "RegistryTestSupport.h"
#include "TestServerInterface.h"
#include "platform/com/ComRuntime.h"
#include "platform/system/Library.h"
#include <gtest/gtest.h>
#include <atomic>
#include <thread>

#ifndef TEST_SERVER_PATH
#error "the build names the test server library"
#endif

namespace {
// {7C000001-0000-4000-8000-000000000001}
constexpr CLSID CLSID_LocalThing = {0x7C000001, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
// {7C000002-0000-4000-8000-000000000002}
constexpr CLSID CLSID_Nowhere = {0x7C000002, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};

class LocalThing final : public CUnknown, public ITestValue {
public:
    LocalThing() : CUnknown("local thing", nullptr) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_ITestValue) return GetInterface(static_cast<ITestValue*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    int GetValue() override { return 7; }
};

// Lives on the test's stack; counts the references the runtime takes and gives back.
class LocalFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) return GetInterface(this, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (outer) return CLASS_E_NOAGGREGATION;  // leaves *ppv alone: the runtime must clear it
        auto* thing = new LocalThing;
        thing->NonDelegatingAddRef();
        HRESULT hr = thing->NonDelegatingQueryInterface(riid, ppv);
        thing->NonDelegatingRelease();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
    std::atomic<long> refs{0};
};

// Registers a class's server library as its registration entry point would.
void RegisterServer(REFCLSID clsid, const std::string& library) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidToString(clsid) + "\\InprocServer32").c_str(), &key),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, nullptr, library), ERROR_SUCCESS);
    RegCloseKey(key);
}

template <class T>
HRESULT Create(REFCLSID clsid, ComPtr<T>& out, REFIID iid = IID_ITestValue, DWORD context = CLSCTX_ALL) {
    return CoCreateInstance(clsid, nullptr, context, iid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
}

class ComRuntime : public ::testing::Test {
protected:
    ScopedRegistryHome home_;
};
}  // namespace

TEST_F(ComRuntime, ClassesRegisteredInProcess) {
    LocalFactory factory;
    ASSERT_EQ(CoRegisterClassFactory(CLSID_LocalThing, &factory), S_OK);
    EXPECT_EQ(factory.refs.load(), 1) << "the table holds a reference";
    EXPECT_EQ(CoRegisterClassFactory(CLSID_LocalThing, &factory), CO_E_OBJISREG);
    EXPECT_EQ(CoRegisterClassFactory(CLSID_Nowhere, nullptr), E_POINTER);

    ComPtr<ITestValue> thing;
    ASSERT_EQ(Create(CLSID_LocalThing, thing, IID_ITestValue, CLSCTX_INPROC_SERVER), S_OK);
    EXPECT_EQ(thing->GetValue(), 7);
    EXPECT_EQ(factory.refs.load(), 1) << "the factory reference used for creation was given back";
    void* direct = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_LocalThing, IID_IClassFactory, &direct), S_OK);
    EXPECT_EQ(direct, static_cast<IClassFactory*>(&factory));
    factory.Release();

    // Failures always leave the output cleared.
    EXPECT_EQ(Create(CLSID_LocalThing, thing, IID_ITestValue, CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(thing.Get(), nullptr);
    ComPtr<IUnknown> unk;
    EXPECT_EQ(Create(CLSID_LocalThing, unk, IID_IClassFactory), E_NOINTERFACE);
    void* out = reinterpret_cast<void*>(1);  // any object will do as a would-be outer
    EXPECT_EQ(CoCreateInstance(CLSID_LocalThing, &factory, CLSCTX_ALL, IID_ITestValue, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_LocalThing, nullptr, CLSCTX_ALL, IID_ITestValue, nullptr), E_POINTER);

    ASSERT_EQ(CoRevokeClassFactory(CLSID_LocalThing), S_OK);
    EXPECT_EQ(factory.refs.load(), 0);
    EXPECT_EQ(CoRevokeClassFactory(CLSID_LocalThing), CO_E_OBJNOTREG);
    EXPECT_EQ(Create(CLSID_LocalThing, thing), REGDB_E_CLASSNOTREG);
}

TEST_F(ComRuntime, ClassesRegisteredInTheRegistryLoadTheirLibrary) {
    ComPtr<ITestValue> value;
    EXPECT_EQ(Create(CLSID_TestServerObject, value), REGDB_E_CLASSNOTREG);
    RegisterServer(CLSID_TestServerObject, TEST_SERVER_PATH);
    ASSERT_EQ(Create(CLSID_TestServerObject, value, IID_ITestValue, CLSCTX_INPROC_SERVER), S_OK);
    EXPECT_EQ(value->GetValue(), kTestServerValue);

    HMODULE lib = GetModuleHandleA(TEST_SERVER_PATH);
    ASSERT_NE(lib, nullptr) << "the library stays loaded";
    auto objects = reinterpret_cast<long (*)()>(GetProcAddress(lib, "TestServerObjectCount"));
    ASSERT_NE(objects, nullptr);
    EXPECT_EQ(objects(), 1) << "only the object; the factory was released";
    value.Reset();
    EXPECT_EQ(objects(), 0);

    void* out = nullptr;
    EXPECT_EQ(CoGetClassObject(CLSID_TestServerObject, IID_ITestValue, &out), E_NOINTERFACE)
        << "the library's own answer comes back";

    // The in-process table is asked first.
    LocalFactory local;
    ASSERT_EQ(CoRegisterClassFactory(CLSID_TestServerObject, &local), S_OK);
    ASSERT_EQ(Create(CLSID_TestServerObject, value), S_OK);
    EXPECT_EQ(value->GetValue(), 7);
    value.Reset();
    ASSERT_EQ(CoRevokeClassFactory(CLSID_TestServerObject), S_OK);
}

TEST_F(ComRuntime, RegistryEntriesThatLeadNowhere) {
    ComPtr<IUnknown> unk;
    RegisterServer(CLSID_Nowhere, home_.Path() + "/missing-server.so");
    EXPECT_EQ(Create(CLSID_Nowhere, unk, IID_IUnknown), CO_E_DLLNOTFOUND);
    // A library without the entry point: the platform library itself.
    RegisterServer(CLSID_Nowhere, ModulePathOfAddress(reinterpret_cast<const void*>(&CoTaskMemAlloc)));
    EXPECT_EQ(Create(CLSID_Nowhere, unk, IID_IUnknown), CO_E_ERRORINDLL);
    // The right library asked for a class it does not serve.
    RegisterServer(CLSID_Nowhere, TEST_SERVER_PATH);
    EXPECT_EQ(Create(CLSID_Nowhere, unk, IID_IUnknown), CLASS_E_CLASSNOTAVAILABLE);
    RegisterServer(CLSID_Nowhere, "");
    EXPECT_EQ(Create(CLSID_Nowhere, unk, IID_IUnknown), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoGetClassObject(CLSID_Nowhere, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ComRuntime, ConcurrentCreationAndRegistration) {
    LocalFactory factory;
    RegisterServer(CLSID_TestServerObject, TEST_SERVER_PATH);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                if (t == 0) {  // one thread keeps registering and revoking a class of its own
                    failures += FAILED(CoRegisterClassFactory(CLSID_LocalThing, &factory));
                    failures += FAILED(CoRevokeClassFactory(CLSID_LocalThing));
                    continue;
                }
                ComPtr<ITestValue> v;
                failures += FAILED(Create(CLSID_TestServerObject, v)) || v->GetValue() != kTestServerValue;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(factory.refs.load(), 0);
}
