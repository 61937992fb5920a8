#include "RegistryTestSupport.h"
#include "TestServerInterface.h"
#include "platform/com/ComRuntime.h"
#include "platform/system/Library.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
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
    explicit LocalThing(IUnknown* outer) : CUnknown("local thing", outer) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_ITestValue) return GetInterface(static_cast<ITestValue*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    int GetValue() override { return 7; }
};

class LocalFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) return GetInterface(this, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }  // lives on the test's stack
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        ++created;
        if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        auto* thing = new LocalThing(outer);
        thing->NonDelegatingAddRef();
        HRESULT hr = thing->NonDelegatingQueryInterface(riid, ppv);
        thing->NonDelegatingRelease();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
    std::atomic<long> refs{0};
    std::atomic<int> created{0};
};

// Registers a class's server library as DllRegisterServer would.
void RegisterServer(REFCLSID clsid, const std::string& library) {
    std::string keyName = "CLSID\\" + GuidToString(clsid) + "\\InprocServer32";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, keyName.c_str(), &key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, nullptr, library), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "ThreadingModel", "Both"), ERROR_SUCCESS);
    RegCloseKey(key);
}

class ComRuntime : public ::testing::Test {
protected:
    ScopedRegistryHome home_;
};
}  // namespace

TEST(TaskMemory, AllocatesReallocatesAndFrees) {
    auto* p = static_cast<char*>(CoTaskMemAlloc(16));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "0123456789abcde", 16);
    p = static_cast<char*>(CoTaskMemRealloc(p, 4096));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "0123456789abcde");
    CoTaskMemFree(p);
    void* empty = CoTaskMemAlloc(0);
    EXPECT_NE(empty, nullptr) << "a zero-size block is still a block";
    CoTaskMemFree(empty);
    CoTaskMemFree(nullptr);
}

TEST_F(ComRuntime, ClassesRegisteredInProcess) {
    LocalFactory factory;
    ASSERT_EQ(CoRegisterClassFactory(CLSID_LocalThing, &factory), S_OK);
    EXPECT_EQ(factory.refs.load(), 1) << "the table holds a reference";
    EXPECT_EQ(CoRegisterClassFactory(CLSID_LocalThing, &factory), CO_E_OBJISREG);

    ComPtr<ITestValue> thing;
    ASSERT_EQ(CoCreateInstance(CLSID_LocalThing, nullptr, CLSCTX_INPROC_SERVER, IID_ITestValue,
                               reinterpret_cast<void**>(thing.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(thing->GetValue(), 7);
    EXPECT_EQ(factory.refs.load(), 1) << "the factory reference used for creation was given back";

    ComPtr<IClassFactory> direct;
    ASSERT_EQ(CoGetClassObject(CLSID_LocalThing, IID_IClassFactory, reinterpret_cast<void**>(direct.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(direct.Get(), &factory);
    direct.Reset();

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_LocalThing, nullptr, CLSCTX_LOCAL_SERVER, IID_ITestValue, &out),
              REGDB_E_CLASSNOTREG)
        << "everything here is in process";
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_LocalThing, nullptr, CLSCTX_ALL, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_LocalThing, nullptr, CLSCTX_ALL, IID_ITestValue, nullptr), E_POINTER);

    ASSERT_EQ(CoRevokeClassFactory(CLSID_LocalThing), S_OK);
    EXPECT_EQ(factory.refs.load(), 0);
    EXPECT_EQ(CoRevokeClassFactory(CLSID_LocalThing), CO_E_OBJNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_LocalThing, nullptr, CLSCTX_ALL, IID_ITestValue, &out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoRegisterClassFactory(CLSID_LocalThing, nullptr), E_POINTER);
}

TEST_F(ComRuntime, AggregationGoesThroughTheFactory) {
    LocalFactory factory;
    ASSERT_EQ(CoRegisterClassFactory(CLSID_LocalThing, &factory), S_OK);
    struct Owner : IUnknown {
        HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG AddRef() override { return 2; }
        ULONG Release() override { return 1; }
    } owner;
    void* out = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_LocalThing, &owner, CLSCTX_ALL, IID_ITestValue, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    IUnknown* inner = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_LocalThing, &owner, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    ITestValue* value = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_ITestValue, reinterpret_cast<void**>(&value)), S_OK);
    EXPECT_EQ(value->GetValue(), 7);
    value->Release();  // goes to the owner
    inner->Release();  // the inner object's own count: it goes
    ASSERT_EQ(CoRevokeClassFactory(CLSID_LocalThing), S_OK);
}

TEST_F(ComRuntime, ClassesRegisteredInTheRegistryLoadTheirLibrary) {
    void* out = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_ITestValue, &out),
              REGDB_E_CLASSNOTREG);
    RegisterServer(CLSID_TestServerObject, TEST_SERVER_PATH);

    ComPtr<ITestValue> value;
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_ITestValue,
                               reinterpret_cast<void**>(value.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(value->GetValue(), kTestServerValue);

    HMODULE lib = GetModuleHandleA(TEST_SERVER_PATH);
    ASSERT_NE(lib, nullptr) << "the library stays loaded";
    auto objects = reinterpret_cast<long (*)()>(GetProcAddress(lib, "TestServerObjectCount"));
    ASSERT_NE(objects, nullptr);
    EXPECT_EQ(objects(), 1) << "only the object; the factory was released";
    value.Reset();
    EXPECT_EQ(objects(), 0);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_TestServerObject, IID_IClassFactory,
                               reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    factory.Reset();
    EXPECT_EQ(CoGetClassObject(CLSID_TestServerObject, IID_ITestValue, &out), E_NOINTERFACE)
        << "the library's own answer comes back";

    // The in-process table is asked first.
    LocalFactory local;
    ASSERT_EQ(CoRegisterClassFactory(CLSID_TestServerObject, &local), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_ALL, IID_ITestValue,
                               reinterpret_cast<void**>(value.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(value->GetValue(), 7);
    value.Reset();
    ASSERT_EQ(CoRevokeClassFactory(CLSID_TestServerObject), S_OK);
}

TEST_F(ComRuntime, RegistryEntriesThatLeadNowhere) {
    void* out = reinterpret_cast<void*>(1);
    RegisterServer(CLSID_Nowhere, home_.Path() + "/missing-server.so");
    EXPECT_EQ(CoCreateInstance(CLSID_Nowhere, nullptr, CLSCTX_ALL, IID_IUnknown, &out), CO_E_DLLNOTFOUND);
    EXPECT_EQ(out, nullptr);

    // A library without the entry point: the platform library itself.
    RegisterServer(CLSID_Nowhere, ModulePathOfAddress(reinterpret_cast<const void*>(&CoTaskMemAlloc)));
    EXPECT_EQ(CoCreateInstance(CLSID_Nowhere, nullptr, CLSCTX_ALL, IID_IUnknown, &out), CO_E_ERRORINDLL);

    // The right library asked for a class it does not serve.
    RegisterServer(CLSID_Nowhere, TEST_SERVER_PATH);
    EXPECT_EQ(CoCreateInstance(CLSID_Nowhere, nullptr, CLSCTX_ALL, IID_IUnknown, &out), CLASS_E_CLASSNOTAVAILABLE);

    // A class key without a server path, or with an empty one.
    HKEY key = nullptr;
    std::string serverKey = "CLSID\\" + GuidToString(CLSID_Nowhere) + "\\InprocServer32";
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, serverKey.c_str(), &key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, nullptr, ""), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(CLSID_Nowhere, nullptr, CLSCTX_ALL, IID_IUnknown, &out), REGDB_E_CLASSNOTREG);
    ASSERT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(CLSID_Nowhere, nullptr, CLSCTX_ALL, IID_IUnknown, &out), REGDB_E_CLASSNOTREG);
    RegCloseKey(key);
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
                if (t == 0) {
                    // One thread keeps registering and revoking a class of its own.
                    if (FAILED(CoRegisterClassFactory(CLSID_LocalThing, &factory))) ++failures;
                    if (FAILED(CoRevokeClassFactory(CLSID_LocalThing))) ++failures;
                    continue;
                }
                ComPtr<ITestValue> v;
                HRESULT hr = CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_ALL, IID_ITestValue,
                                              reinterpret_cast<void**>(v.ReleaseAndGetAddressOf()));
                if (FAILED(hr) || v->GetValue() != kTestServerValue) ++failures;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(factory.refs.load(), 0);
}
