#include "ScopedHome.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/CClassFactory.h"
#include "platform/graph/CFilterMapper2.h"
#include "platform/graph/CFilterMoniker.h"
#include "platform/graph/FilterRegistration.h"
#include "platform/graph/WideString.h"
#include "platform/registry/Registry.h"
#include <fstream>
#include <gtest/gtest.h>

namespace {

constexpr CLSID kFilterA = {0x5A486531, 0x0201, 0x43E0, {0xBD, 0x81, 0xD5, 0x44, 0xBB, 0x08, 0xD0, 0xDC}};
constexpr CLSID kPageA = {0x2C21A4B6, 0xC51A, 0x4990, {0xB4, 0x40, 0xB0, 0x84, 0x15, 0x34, 0xF7, 0x3A}};
constexpr CLSID kFilterB = {0x7B1C2D3E, 0x4F50, 0x4617, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
constexpr CLSID kFilterC = {0x0C1D2E3F, 0x4051, 0x4627, {0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9, 0x0A}};

const REGPINTYPES kTsTypes[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_TRANSPORT},
                                {&MEDIATYPE_Stream, &KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT}};
const REGPINTYPES kAnyStream[] = {{&MEDIATYPE_Stream, nullptr}};
const REGFILTERPINS kTsPins[] = {
    {u"Antenna", FALSE, FALSE, TRUE, FALSE, nullptr, nullptr, 2, kTsTypes},
    {u"TS Out", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 2, kTsTypes}};
const REGFILTERPINS kRendererPins[] = {{u"In", TRUE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, kAnyStream}};
const AMOVIESETUP_FILTER kSetupA = {&kFilterA, u"Velmar TS Feed filter", MERIT_DO_NOT_USE, 2, kTsPins};

std::string ReadString(const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) return "<no key>";
    char buf[1024] = {};
    DWORD type = 0, size = sizeof buf;
    LONG err = RegQueryValueExA(key, name, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (err != ERROR_SUCCESS) return "<no value>";
    if (type != REG_SZ) return "<not a string>";
    return std::string(buf, size ? size - 1 : 0);
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<BYTE> ReadBinary(const std::string& path, const char* name) {
    HKEY key = nullptr;
    std::vector<BYTE> out;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) return out;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_BINARY) {
        out.resize(size);
        RegQueryValueExA(key, name, &type, out.data(), &size);
    }
    RegCloseKey(key);
    return out;
}

ComPtr<IFilterMapper2> NewMapper() {
    ComPtr<IFilterMapper2> m;
    (new CFilterMapper2(nullptr))->NonDelegatingQueryInterface(IID_IFilterMapper2, reinterpret_cast<void**>(m.ReleaseAndGetAddressOf()));
    return m;
}

HRESULT Register(IFilterMapper2* m, REFCLSID clsid, const char16_t* name, DWORD merit, const REGFILTERPINS* pins, ULONG count) {
    REGFILTER2 rf2{};
    rf2.dwVersion = 1;
    rf2.dwMerit = merit;
    rf2.cPins = count;
    rf2.rgPins = pins;
    return m->RegisterFilter(clsid, name, nullptr, nullptr, nullptr, &rf2);
}

std::vector<std::u16string> Names(IEnumMoniker* e) {
    std::vector<std::u16string> names;
    IMoniker* m = nullptr;
    while (e->Next(1, &m, nullptr) == S_OK) {
        names.push_back(CFilterMoniker::FromMoniker(m)->FriendlyName());
        m->Release();
    }
    return names;
}

const std::string kInstanceA = "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{5A486531-0201-43E0-BD81-D544BB08D0DC}";

// ---------------------------------------------------------------------------------------

TEST(FilterData, LayoutOfOnePinIsExact) {
    FilterData fd;
    fd.merit = 0x00200000;
    FilterData::Pin pin;
    pin.name = u"In";
    pin.flags = REG_PINFLAG_B_OUTPUT;
    pin.types.push_back({MEDIATYPE_Stream, GUID_NULL});
    fd.pins.push_back(pin);
    const std::vector<BYTE> expected = {
        1, 0, 0, 0, 0, 0, 0x20, 0, 1, 0, 0, 0, 0, 0, 0, 0,  // version, merit, pins, reserved
        8, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,     // flags, types, name and to-pin lengths
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // connects to any filter
        'I', 0, 'n', 0,                                     // name
        0x83, 0xEB, 0x36, 0xE4, 0x4F, 0x52, 0xCE, 0x11, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(fd.Encode(), expected);
}

TEST(FilterData, RoundTripAndRefusalOfEveryDamagedValue) {
    FilterData fd = CFilterMapper2::FromSetupData(REGFILTER2{1, MERIT_DO_NOT_USE, {{2, kTsPins}}});
    ASSERT_EQ(fd.pins.size(), 2u);
    EXPECT_EQ(fd.pins[0].flags, REG_PINFLAG_B_ZERO);
    EXPECT_EQ(fd.pins[1].flags, REG_PINFLAG_B_OUTPUT);
    EXPECT_EQ(fd.pins[1].name, u"TS Out");
    EXPECT_EQ(fd.pins[1].types[1].minor, KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);

    fd.pins[0].connectsToFilter = kFilterB;
    fd.pins[0].connectsToPin = u"Output";
    std::vector<BYTE> bytes = fd.Encode();
    std::optional<FilterData> back = FilterData::Decode(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, fd);

    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(FilterData::Decode(bytes.data(), n)) << "prefix of " << n << " bytes";
    bytes.push_back(0);
    EXPECT_FALSE(FilterData::Decode(bytes.data(), bytes.size())) << "trailing byte";
    bytes.pop_back();
    bytes[0] = 2;
    EXPECT_FALSE(FilterData::Decode(bytes.data(), bytes.size())) << "unknown layout version";
    // A pin count far beyond the data must not be trusted for allocation.
    std::vector<BYTE> huge = {1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0};
    EXPECT_FALSE(FilterData::Decode(huge.data(), huge.size()));
}

TEST(FilterMapper, RegisterWritesTheInstanceKeyAndUnregisterRemovesIt) {
    ScopedHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    REGFILTER2 rf2{1, MERIT_DO_NOT_USE, {{2, kTsPins}}};
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(m->RegisterFilter(kFilterA, u"Velmar TS Feed filter", moniker.ReleaseAndGetAddressOf(), nullptr, nullptr, &rf2), S_OK);

    EXPECT_EQ(ReadString(kInstanceA, "FriendlyName"), "Velmar TS Feed filter");
    EXPECT_EQ(ReadString(kInstanceA, "CLSID"), "{5A486531-0201-43E0-BD81-D544BB08D0DC}");
    std::vector<BYTE> blob = ReadBinary(kInstanceA, "FilterData");
    EXPECT_EQ(blob, CFilterMapper2::FromSetupData(rf2).Encode());

    std::vector<CFilterMapper2::Registration> all = CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].clsid, kFilterA);
    EXPECT_EQ(all[0].data.merit, MERIT_DO_NOT_USE);
    EXPECT_EQ(all[0].data.pins[0].name, u"Antenna");

    LPOLESTR display = nullptr;
    ASSERT_EQ(moniker->GetDisplayName(nullptr, nullptr, &display), S_OK);
    EXPECT_EQ(WideToUtf8(display),
              "@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{5A486531-0201-43E0-BD81-D544BB08D0DC}");
    CoTaskMemFree(display);

    EXPECT_EQ(m->UnregisterFilter(nullptr, nullptr, kFilterA), S_OK);
    EXPECT_FALSE(KeyExists(kInstanceA));
    EXPECT_TRUE(KeyExists("CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance"));
    EXPECT_EQ(m->UnregisterFilter(nullptr, nullptr, kFilterA), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(FilterMapper, RefusesWhatItCannotStore) {
    ScopedHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    REGFILTER2 v2{};
    v2.dwVersion = 2;
    EXPECT_EQ(m->RegisterFilter(kFilterA, u"x", nullptr, nullptr, nullptr, &v2), E_INVALIDARG);
    REGFILTER2 v1{1, 0, {{0, nullptr}}};
    EXPECT_EQ(m->RegisterFilter(kFilterA, nullptr, nullptr, nullptr, nullptr, &v1), E_POINTER);
    EXPECT_EQ(m->RegisterFilter(kFilterA, u"x", nullptr, nullptr, u"a\\b", &v1), E_INVALIDARG);
    EXPECT_EQ(m->RegisterFilter(kFilterA, u"x", nullptr, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_TRUE(CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory).empty());
}

TEST(FilterMapper, DamagedEntriesAreSkipped) {
    ScopedHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    ASSERT_EQ(Register(m.Get(), kFilterA, u"A", MERIT_NORMAL, kRendererPins, 1), S_OK);
    ASSERT_EQ(Register(m.Get(), kFilterB, u"B", MERIT_NORMAL, kRendererPins, 1), S_OK);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, kInstanceA.c_str(), &key), ERROR_SUCCESS);
    const BYTE junk[] = {1, 2, 3};
    RegSetValueExA(key, "FilterData", REG_BINARY, junk, sizeof junk);
    RegCloseKey(key);
    auto all = CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].clsid, kFilterB);
}

TEST(FilterMapper, MatchingHonoursMeritTypesAndDirection) {
    ScopedHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    ASSERT_EQ(Register(m.Get(), kFilterA, u"TS feed", MERIT_DO_NOT_USE, kTsPins, 2), S_OK);
    ASSERT_EQ(Register(m.Get(), kFilterB, u"Unlikely renderer", MERIT_UNLIKELY, kRendererPins, 1), S_OK);
    ASSERT_EQ(Register(m.Get(), kFilterC, u"Normal renderer", MERIT_NORMAL, kRendererPins, 1), S_OK);

    auto query = [&](DWORD merit, bool exact, bool needInput, std::vector<GUID> inTypes, bool render, bool needOutput) {
        ComPtr<IEnumMoniker> e;
        HRESULT hr = m->EnumMatchingFilters(e.ReleaseAndGetAddressOf(), 0, exact, merit, needInput,
                                            static_cast<DWORD>(inTypes.size() / 2), inTypes.data(), nullptr, nullptr,
                                            render, needOutput, 0, nullptr, nullptr, nullptr);
        EXPECT_EQ(hr, S_OK);
        return e ? Names(e.Get()) : std::vector<std::u16string>{};
    };
    using V = std::vector<std::u16string>;
    // Automatic building asks for more than MERIT_DO_NOT_USE and never sees the feed.
    EXPECT_EQ(query(MERIT_DO_NOT_USE + 1, false, false, {}, false, false), (V{u"Normal renderer", u"Unlikely renderer"}));
    EXPECT_EQ(query(0, false, false, {}, false, false), (V{u"Normal renderer", u"Unlikely renderer", u"TS feed"}));
    EXPECT_EQ(query(MERIT_NORMAL, false, false, {}, false, false), (V{u"Normal renderer"}));
    // The BDA subtype: the feed names it, the renderers take any stream subtype.
    std::vector<GUID> bda = {MEDIATYPE_Stream, KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT};
    EXPECT_EQ(query(0, false, true, bda, false, false), (V{u"Normal renderer", u"Unlikely renderer", u"TS feed"}));
    EXPECT_EQ(query(0, true, true, bda, false, false), (V{u"TS feed"})) << "exact match: no wildcards";
    EXPECT_EQ(query(0, false, true, bda, true, false), (V{u"Normal renderer", u"Unlikely renderer"}));
    EXPECT_EQ(query(0, false, false, {}, false, true), (V{u"TS feed"}));
    std::vector<GUID> other = {FORMAT_None, GUID_NULL};
    EXPECT_EQ(query(0, false, true, other, false, false), V{});

    // Pin categories and mediums are not stored, so nothing has them.
    ComPtr<IEnumMoniker> e;
    ASSERT_EQ(m->EnumMatchingFilters(e.ReleaseAndGetAddressOf(), 0, FALSE, 0, TRUE, 0, nullptr, nullptr,
                                     &MEDIATYPE_Stream, FALSE, FALSE, 0, nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(Names(e.Get()).empty());
    EXPECT_EQ(m->EnumMatchingFilters(e.ReleaseAndGetAddressOf(), 0, FALSE, 0, TRUE, 1, nullptr, nullptr, nullptr,
                                     FALSE, FALSE, 0, nullptr, nullptr, nullptr), E_POINTER);
}

TEST(FilterMapper, EnumeratorNextSkipResetClone) {
    ScopedHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    ASSERT_EQ(Register(m.Get(), kFilterB, u"B", MERIT_UNLIKELY, kRendererPins, 1), S_OK);
    ASSERT_EQ(Register(m.Get(), kFilterC, u"C", MERIT_NORMAL, kRendererPins, 1), S_OK);
    ComPtr<IEnumMoniker> e;
    ASSERT_EQ(m->EnumMatchingFilters(e.ReleaseAndGetAddressOf(), 0, FALSE, 0, FALSE, 0, nullptr, nullptr, nullptr,
                                     FALSE, FALSE, 0, nullptr, nullptr, nullptr), S_OK);
    IMoniker* batch[3] = {};
    ULONG got = 0;
    EXPECT_EQ(e->Next(3, batch, nullptr), E_INVALIDARG);
    EXPECT_EQ(e->Next(3, batch, &got), S_FALSE);
    ASSERT_EQ(got, 2u);
    EXPECT_EQ(CFilterMoniker::FromMoniker(batch[0])->Clsid(), kFilterC);
    EXPECT_EQ(batch[0]->IsEqual(batch[1]), S_FALSE);
    EXPECT_EQ(batch[0]->IsEqual(batch[0]), S_OK);
    batch[0]->Release();
    batch[1]->Release();
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumMoniker> copy;
    ASSERT_EQ(e->Clone(copy.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(Names(copy.Get()), (std::vector<std::u16string>{u"B"}));
    EXPECT_EQ(e->Skip(5), S_FALSE);
}

// The moniker creates its filter through the process's class table.
std::atomic<int> g_created{0};
class Dummy : public CUnknown {
public:
    Dummy() : CUnknown("Dummy", nullptr) { ++g_created; }
};
CUnknown* NewDummy(IUnknown*, HRESULT*) { return new Dummy; }

TEST(FilterMapper, MonikerBindsThroughTheClassTable) {
    ScopedHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    ComPtr<IMoniker> moniker;
    REGFILTER2 rf2{1, MERIT_NORMAL, {{1, kRendererPins}}};
    ASSERT_EQ(m->RegisterFilter(kFilterC, u"C", moniker.ReleaseAndGetAddressOf(), nullptr, nullptr, &rf2), S_OK);
    IUnknown* unk = nullptr;
    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IUnknown, reinterpret_cast<void**>(&unk)), REGDB_E_CLASSNOTREG);

    static const CFactoryTemplate tmpl{u"C", &kFilterC, &NewDummy, nullptr, nullptr};
    static ModuleCounts counts;
    ComPtr<IClassFactory> factory;
    (new CClassFactory(&tmpl, counts))->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
    ASSERT_EQ(CoRegisterClassFactory(kFilterC, factory.Get()), S_OK);
    ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(g_created.load(), 1);
    unk->Release();
    EXPECT_EQ(CoRevokeClassFactory(kFilterC), S_OK);
}

// ---------------------------------------------------------------------------------------

CUnknown* NewNothing(IUnknown*, HRESULT* phr) {
    *phr = E_OUTOFMEMORY;
    return nullptr;
}

const CFactoryTemplate kTemplates[] = {
    {u"Velmar TS Feed filter", &kFilterA, &NewNothing, nullptr, &kSetupA},
    {u"filter properties", &kPageA, &NewNothing, nullptr, nullptr},
};

TEST(FilterRegistration, RegistersBothClassesAndTheFilter) {
    ScopedHome home;
    const std::string module = "/opt/kestrel/Kestrel.ax";
    ASSERT_EQ(AMovieDllRegisterServer2(TRUE, kTemplates, 2, module), S_OK);

    const std::string a = "CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}";
    const std::string p = "CLSID\\{2C21A4B6-C51A-4990-B440-B0841534F73A}";
    EXPECT_EQ(ReadString(a, nullptr), "Velmar TS Feed filter");
    EXPECT_EQ(ReadString(a + "\\InprocServer32", nullptr), module);
    EXPECT_EQ(ReadString(a + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(ReadString(p, nullptr), "filter properties");
    EXPECT_EQ(ReadString(p + "\\InprocServer32", nullptr), module);
    EXPECT_EQ(ReadString(p + "\\InprocServer32", "ThreadingModel"), "Both");

    auto all = CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory);
    ASSERT_EQ(all.size(), 1u) << "only the template with setup data is a filter";
    EXPECT_EQ(all[0].clsid, kFilterA);
    EXPECT_EQ(all[0].friendlyName, u"Velmar TS Feed filter");
    EXPECT_EQ(all[0].data, CFilterMapper2::FromSetupData(REGFILTER2{1, MERIT_DO_NOT_USE, {{2, kTsPins}}}));

    // Registering again changes nothing.
    ASSERT_EQ(AMovieDllRegisterServer2(TRUE, kTemplates, 2, module), S_OK);
    EXPECT_EQ(CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory).size(), 1u);

    ASSERT_EQ(AMovieDllRegisterServer2(FALSE, kTemplates, 2, module), S_OK);
    EXPECT_FALSE(KeyExists(a));
    EXPECT_FALSE(KeyExists(p));
    EXPECT_FALSE(KeyExists(kInstanceA));
    // What is gone already is no failure.
    EXPECT_EQ(AMovieDllRegisterServer2(FALSE, kTemplates, 2, module), S_OK);
}

TEST(FilterRegistration, ReportsTheFirstFailure) {
    ScopedHome home;
    EXPECT_EQ(AMovieDllRegisterServer2(TRUE, nullptr, 1, "x"), E_POINTER);
    EXPECT_EQ(AMovieDllRegisterServer2(TRUE, kTemplates, -1, "x"), E_INVALIDARG);
    const CFactoryTemplate noClass[] = {{u"x", nullptr, &NewNothing, nullptr, nullptr}};
    EXPECT_EQ(AMovieDllRegisterServer2(TRUE, noClass, 1, "x"), E_INVALIDARG);

    // A store that cannot be written: its directory is a plain file.
    const std::string blocked = home.Path() + "/not-a-directory";
    std::ofstream(blocked) << "x";
    setenv("KESTREL_HOME", blocked.c_str(), 1);
    HRESULT hr = AMovieDllRegisterServer2(TRUE, kTemplates, 2, "x");
    setenv("KESTREL_HOME", home.Path().c_str(), 1);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(KeyExists("CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}"));
}

}  // namespace
