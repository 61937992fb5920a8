// The built module as hosts see it: its exports, class objects and registration.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "filter/TSFeedInterfaces.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/TaskMemory.h"
#include "platform/com/WideString.h"
#include "platform/graph/CFilterMapper2.h"
#include "platform/registry/Registry.h"
#include "platform/system/Library.h"
#include "platform/ui/ResourceRegistry.h"
#include "tests/support/ShellRun.h"

namespace {

std::string ModulePath() {
    const char* bin = std::getenv("KESTREL_TEST_BIN");
    return std::string(bin ? bin : ".") + "/Kestrel.ax";
}

struct Module {
    HMODULE library = LoadLibraryA(ModulePath().c_str());
    template <class F>
    F Get(const char* name) {
        return library ? reinterpret_cast<F>(GetProcAddress(library, name)) : nullptr;
    }
    DllGetClassObjectFunction getClassObject = Get<DllGetClassObjectFunction>("DllGetClassObject");
    HRESULT (*canUnloadNow)() = Get<HRESULT (*)()>("DllCanUnloadNow");
    HRESULT (*registerServer)() = Get<HRESULT (*)()>("DllRegisterServer");
    HRESULT (*unregisterServer)() = Get<HRESULT (*)()>("DllUnregisterServer");
};

Module& TheModule() {
    static Module module;
    return module;
}

class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        home_ = std::filesystem::temp_directory_path() / ("kestrel-module-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(home_);
        setenv("KESTREL_HOME", home_.c_str(), 1);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(home_); }
    void SetUp() override {
        ASSERT_NE(TheModule().library, nullptr) << LastLibraryError();
        ASSERT_NE(TheModule().canUnloadNow, nullptr);
    }
    static inline std::filesystem::path home_;
};

std::string ReadString(const std::string& key, const char* value) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), &k) != ERROR_SUCCESS) return "<no key>";
    char data[1024] = {};
    DWORD size = sizeof data, type = 0;
    LONG r = RegQueryValueExA(k, value, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(k);
    if (r != ERROR_SUCCESS) return "<no value>";
    return type == REG_SZ ? std::string(data) : "<not a string>";
}

template <class T>
HRESULT ClassObject(REFCLSID clsid, ComPtr<T>& out) {
    return TheModule().getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
}

}  // namespace

TEST_F(ModuleTest, ExportsExactlyTheFourFunctions) {
    ShellResult nm = RunShell("nm -D --defined-only --format=just-symbols '" + ModulePath() + "'");
    ASSERT_EQ(nm.status, 0) << nm.err;
    std::istringstream lines(nm.out);
    std::set<std::string> names{std::istream_iterator<std::string>(lines), {}};
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                            "DllUnregisterServer"}));
}

TEST_F(ModuleTest, ClassObjectsForBothClassesWithTheModulesOwnPageResources) {
    Module& m = TheModule();
    void* p = nullptr;
    const CLSID third = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(m.getClassObject(third, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(m.getClassObject(CLSID_TSFeedFilter, IID_IBaseFilter, &p), E_NOINTERFACE);
    ASSERT_EQ(m.getClassObject(CLSID_TSFeedFilter, IID_IUnknown, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(m.canUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(ClassObject(CLSID_TSFeedPropertyPage, factory), S_OK);
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(page.ReleaseAndGetAddressOf())),
              S_OK);
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(WideToUtf8(info.pszTitle), "Properties");
    CoTaskMemFree(info.pszTitle);
    EXPECT_NE(ResourceRegistry::Instance().FindDialog(m.library, ResourceName(105)), nullptr)
        << "the dialog is the module's resource, not the host's";
    factory.Reset();
    page.Reset();

    // Every live object of either class keeps the module loaded.
    for (const CLSID* clsid : {&CLSID_TSFeedFilter, &CLSID_TSFeedPropertyPage}) {
        ASSERT_EQ(ClassObject(*clsid, factory), S_OK);
        ComPtr<IUnknown> object;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.ReleaseAndGetAddressOf())),
                  S_OK);
        factory.Reset();
        EXPECT_EQ(m.canUnloadNow(), S_FALSE) << GuidToString(*clsid);
        object.Reset();
        EXPECT_EQ(m.canUnloadNow(), S_OK) << GuidToString(*clsid);
    }

    // A lock outlives the factory that took it.
    ASSERT_EQ(ClassObject(CLSID_TSFeedFilter, factory), S_OK);
    factory->LockServer(TRUE);
    factory.Reset();
    EXPECT_EQ(m.canUnloadNow(), S_FALSE);
    ASSERT_EQ(ClassObject(CLSID_TSFeedFilter, factory), S_OK);
    factory->LockServer(FALSE);
    factory.Reset();
    EXPECT_EQ(m.canUnloadNow(), S_OK);
}

TEST_F(ModuleTest, RegistrationRoundTrip) {
    Module& m = TheModule();
    const std::string filterKey = "CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}";
    const std::string pageKey = "CLSID\\" + GuidToString(CLSID_TSFeedPropertyPage);
    const std::string instanceKey = "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\" +
                                    GuidToString(CLSID_TSFeedFilter);
    ASSERT_EQ(m.registerServer(), S_OK);
    std::string absolute = std::filesystem::canonical(ModulePath()).string();
    EXPECT_EQ(ReadString(filterKey + "\\InprocServer32", nullptr), absolute);
    EXPECT_EQ(ReadString(pageKey, nullptr), "filter properties");
    EXPECT_EQ(ReadString(pageKey + "\\InprocServer32", nullptr), absolute);
    EXPECT_EQ(ReadString(instanceKey, "FriendlyName"), "Velmar TS Feed filter");
    // What the mapper read back from the store, against the values the module must register.
    const auto filters = CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0].data.merit, 0x200000u) << "automatic graph building never picks the filter";
    ASSERT_EQ(filters[0].data.pins.size(), 2u);
    const GUID bdaTransport = *GuidFromString("{F4AEB342-0329-4FDD-A8FD-4AFF4926C978}");
    const GUID transport = *GuidFromString("{E06D8023-DB46-11CF-B4D1-00805F6CBBEA}");
    for (size_t i = 0; i < 2; ++i) {
        const auto& pin = filters[0].data.pins[i];
        EXPECT_EQ(WideToUtf8(pin.name), i == 0 ? "Antenna" : "TS Out");
        EXPECT_EQ(pin.flags, i == 0 ? DWORD{REG_PINFLAG_B_ZERO} : DWORD{REG_PINFLAG_B_OUTPUT});
        ASSERT_EQ(pin.types.size(), 2u);
        EXPECT_EQ(pin.types[0].minor, transport);
        EXPECT_EQ(pin.types[1].minor, bdaTransport);
    }
    ComPtr<IBaseFilter> filter;
    auto create = [&] {
        return CoCreateInstance(CLSID_TSFeedFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()));
    };
    EXPECT_EQ(create(), S_OK) << "creatable through the registration alone";
    filter.Reset();

    ASSERT_EQ(m.unregisterServer(), S_OK);
    for (const std::string& key : {filterKey, pageKey, instanceKey}) EXPECT_EQ(ReadString(key, nullptr), "<no key>") << key;
    EXPECT_EQ(create(), REGDB_E_CLASSNOTREG);
}
