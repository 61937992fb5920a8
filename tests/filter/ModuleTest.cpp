// The built module as hosts see it: its exports, class objects and registration.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "filter/TSFeedInterfaces.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/Moniker.h"
#include "platform/graph/PlatformClasses.h"
#include "platform/registry/Registry.h"
#include "platform/system/Library.h"

namespace {

std::string ModulePath() {
    const char* bin = std::getenv("KESTREL_TEST_BIN");
    return std::string(bin ? bin : ".") + "/Kestrel.ax";
}

struct Module {
    HMODULE library = nullptr;
    HRESULT (*getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT (*canUnloadNow)() = nullptr;
    HRESULT (*registerServer)() = nullptr;
    HRESULT (*unregisterServer)() = nullptr;

    Module() {
        library = LoadLibraryA(ModulePath().c_str());
        if (!library) return;
        getClassObject = reinterpret_cast<decltype(getClassObject)>(GetProcAddress(library, "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<decltype(canUnloadNow)>(GetProcAddress(library, "DllCanUnloadNow"));
        registerServer = reinterpret_cast<decltype(registerServer)>(GetProcAddress(library, "DllRegisterServer"));
        unregisterServer = reinterpret_cast<decltype(unregisterServer)>(GetProcAddress(library, "DllUnregisterServer"));
    }
};

Module& TheModule() {
    static Module module;
    return module;
}

class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static std::string home = [] {
            auto dir = std::filesystem::temp_directory_path() / ("kestrel-module-test-" + std::to_string(getpid()));
            std::filesystem::create_directories(dir);
            return dir.string();
        }();
        setenv("KESTREL_HOME", home.c_str(), 1);
    }
    static void TearDownTestSuite() {
        if (const char* home = std::getenv("KESTREL_HOME")) std::filesystem::remove_all(home);
    }
    void SetUp() override {
        ASSERT_NE(TheModule().library, nullptr) << LastLibraryError();
        ASSERT_NE(TheModule().getClassObject, nullptr);
    }
};

std::string ReadString(HKEY root, const std::string& key, const char* value) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), &k) != ERROR_SUCCESS) return "<no key>";
    char data[1024] = {};
    DWORD size = sizeof data, type = 0;
    LONG r = RegQueryValueExA(k, value, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(k);
    if (r != ERROR_SUCCESS) return "<no value>";
    return type == REG_SZ ? std::string(data) : "<not a string>";
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

}  // namespace

TEST_F(ModuleTest, ExportsExactlyTheFourFunctions) {
    std::string command = "nm -D --defined-only '" + ModulePath() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char address[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3) names.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                            "DllUnregisterServer"}));
}

TEST_F(ModuleTest, ClassObjectsForBothClassesAndNoOther) {
    Module& m = TheModule();
    void* p = nullptr;
    ASSERT_EQ(m.getClassObject(CLSID_TSFeedFilter, IID_IClassFactory, &p), S_OK);
    static_cast<IClassFactory*>(p)->Release();
    ASSERT_EQ(m.getClassObject(CLSID_TSFeedPropertyPage, IID_IUnknown, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
    const CLSID third = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(m.getClassObject(third, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(m.getClassObject(CLSID_TSFeedFilter, IID_IBaseFilter, &p), E_NOINTERFACE);
}

TEST_F(ModuleTest, CanUnloadOnlyWithoutObjectsOrLocks) {
    Module& m = TheModule();
    EXPECT_EQ(m.canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(m.getClassObject(CLSID_TSFeedFilter, IID_IClassFactory,
                               reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf())),
              S_OK);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf())),
              S_OK);
    // Aggregation is only possible through IUnknown.
    void* p = nullptr;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(filter.Get()), IID_IBaseFilter, &p),
              CLASS_E_NOAGGREGATION);
    factory.Reset();
    EXPECT_EQ(m.canUnloadNow(), S_FALSE);
    ComPtr<ITSFeedControl> control;
    ASSERT_EQ(filter.As(IID_ITSFeedControl, &control), S_OK);
    control->SetMode(kModeHostSupplied, nullptr);
    control.Reset();
    filter.Reset();
    EXPECT_EQ(m.canUnloadNow(), S_OK);

    ASSERT_EQ(m.getClassObject(CLSID_TSFeedFilter, IID_IClassFactory,
                               reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf())),
              S_OK);
    factory->LockServer(TRUE);
    IClassFactory* raw = factory.Detach();
    raw->Release();
    EXPECT_EQ(m.canUnloadNow(), S_FALSE);
    ASSERT_EQ(m.getClassObject(CLSID_TSFeedFilter, IID_IClassFactory, reinterpret_cast<void**>(&raw)), S_OK);
    raw->LockServer(FALSE);
    raw->Release();
    EXPECT_EQ(m.canUnloadNow(), S_OK);
}

TEST_F(ModuleTest, RegistrationRoundTrip) {
    Module& m = TheModule();
    const std::string filterKey = "CLSID\\" + GuidToString(CLSID_TSFeedFilter);
    const std::string pageKey = "CLSID\\" + GuidToString(CLSID_TSFeedPropertyPage);
    const std::string instanceKey =
        "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\" + GuidToString(CLSID_TSFeedFilter);
    ASSERT_EQ(m.registerServer(), S_OK);

    std::string absolute = std::filesystem::canonical(ModulePath()).string();
    EXPECT_EQ(filterKey, "CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, filterKey, nullptr), "Velmar TS Feed filter");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, filterKey + "\\InprocServer32", nullptr), absolute);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, filterKey + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, pageKey, nullptr), "filter properties");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, pageKey + "\\InprocServer32", nullptr), absolute);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, instanceKey, "FriendlyName"), "Velmar TS Feed filter");

    // Creatable by class identifier through the registration alone.
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(CoCreateInstance(CLSID_TSFeedFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf())),
              S_OK);
    CLSID clsid{};
    filter->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_TSFeedFilter);
    filter.Reset();

    // Automatic graph building asks for more than "do not use" and never sees it.
    ASSERT_EQ(RegisterPlatformClasses(), S_OK);
    ComPtr<IFilterMapper2> mapper;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                               reinterpret_cast<void**>(mapper.ReleaseAndGetAddressOf())),
              S_OK);
    auto countOurs = [&](DWORD merit) {
        ComPtr<IEnumMoniker> monikers;
        HRESULT hr = mapper->EnumMatchingFilters(monikers.ReleaseAndGetAddressOf(), 0, FALSE, merit, FALSE, 0,
                                                 nullptr, nullptr, nullptr, FALSE, FALSE, 0, nullptr, nullptr, nullptr);
        EXPECT_TRUE(SUCCEEDED(hr));
        int ours = 0;
        IMoniker* moniker = nullptr;
        ULONG fetched = 0;
        while (monikers && monikers->Next(1, &moniker, &fetched) == S_OK) {
            ComPtr<IBaseFilter> f;
            if (SUCCEEDED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                reinterpret_cast<void**>(f.ReleaseAndGetAddressOf())))) {
                CLSID id{};
                f->GetClassID(&id);
                if (id == CLSID_TSFeedFilter) ++ours;
            }
            moniker->Release();
        }
        return ours;
    };
    EXPECT_EQ(countOurs(MERIT_DO_NOT_USE + 1), 0);
    EXPECT_EQ(countOurs(MERIT_DO_NOT_USE), 1);
    mapper.Reset();

    ASSERT_EQ(m.unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, filterKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, pageKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, instanceKey));
    EXPECT_EQ(CoCreateInstance(CLSID_TSFeedFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf())),
              REGDB_E_CLASSNOTREG);
}
