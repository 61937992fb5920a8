#include "platform/com/ComRuntime.h"
#include "platform/graph/CClassFactory.h"
#include "platform/graph/CFilterMapper2.h"
#include "platform/graph/CFilterMoniker.h"
#include "platform/graph/FilterRegistration.h"
#include "platform/com/WideString.h"
#include "tests/platform/RegistryTestSupport.h"
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
const REGFILTER2 kTsSetup{1, MERIT_DO_NOT_USE, {{2, kTsPins}}};

const std::string kInstanceA =
    "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{5A486531-0201-43E0-BD81-D544BB08D0DC}";

// A string value under HKEY_CLASSES_ROOT, or why there is none.
std::string Value(const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) return "<no key>";
    std::string v = GetString(key, name).value_or("<no value>");
    RegCloseKey(key);
    return v;
}
bool KeyExists(const std::string& path) { return Value(path, nullptr) != "<no key>"; }

ComPtr<IFilterMapper2> NewMapper() {
    ComPtr<IFilterMapper2> m;
    (new CFilterMapper2(nullptr))
        ->NonDelegatingQueryInterface(IID_IFilterMapper2, reinterpret_cast<void**>(m.ReleaseAndGetAddressOf()));
    return m;
}

HRESULT Register(IFilterMapper2* m, REFCLSID clsid, const char16_t* name, DWORD merit, const REGFILTERPINS* pins,
                 ULONG count, IMoniker** moniker = nullptr) {
    REGFILTER2 rf2{1, merit, {{count, pins}}};
    return m->RegisterFilter(clsid, name, moniker, nullptr, nullptr, &rf2);
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
    FilterData fd = CFilterMapper2::FromSetupData(kTsSetup);
    ASSERT_EQ(fd.pins.size(), 2u);
    EXPECT_EQ(fd.pins[0].flags, REG_PINFLAG_B_ZERO);
    EXPECT_EQ(fd.pins[1].flags, REG_PINFLAG_B_OUTPUT);

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
    std::vector<BYTE> huge = {1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0};
    EXPECT_FALSE(FilterData::Decode(huge.data(), huge.size())) << "a pin count far beyond the data";
}

TEST(FilterMapper, RegistrationIsStoredReadBackAndRemoved) {
    ScopedRegistryHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(m->RegisterFilter(kFilterA, u"Velmar TS Feed filter", moniker.ReleaseAndGetAddressOf(), nullptr, nullptr,
                                &kTsSetup), S_OK);
    EXPECT_EQ(Value(kInstanceA, "CLSID"), "{5A486531-0201-43E0-BD81-D544BB08D0DC}");
    LPOLESTR display = nullptr;
    ASSERT_EQ(moniker->GetDisplayName(nullptr, nullptr, &display), S_OK);
    EXPECT_EQ(WideToUtf8(display),
              "@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{5A486531-0201-43E0-BD81-D544BB08D0DC}");
    CoTaskMemFree(display);

    ASSERT_EQ(Register(m.Get(), kFilterB, u"B", MERIT_NORMAL, kRendererPins, 1), S_OK);
    std::vector<CFilterMapper2::Registration> all = CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory);
    ASSERT_EQ(all.size(), 2u);
    const auto& a = all[0].clsid == kFilterA ? all[0] : all[1];
    EXPECT_EQ(a.clsid, kFilterA);
    EXPECT_EQ(a.friendlyName, u"Velmar TS Feed filter");
    EXPECT_EQ(a.data, CFilterMapper2::FromSetupData(kTsSetup));

    // A damaged entry is skipped, the others still read.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, kInstanceA.c_str(), &key), ERROR_SUCCESS);
    const BYTE junk[] = {1, 2, 3};
    RegSetValueExA(key, "FilterData", REG_BINARY, junk, sizeof junk);
    RegCloseKey(key);
    all = CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].clsid, kFilterB);

    EXPECT_EQ(m->UnregisterFilter(nullptr, nullptr, kFilterA), S_OK);
    EXPECT_FALSE(KeyExists(kInstanceA));
    EXPECT_TRUE(KeyExists("CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance"));
    EXPECT_EQ(m->UnregisterFilter(nullptr, nullptr, kFilterA), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

    // What cannot be stored is refused before anything is written.
    REGFILTER2 v2{2, 0, {{0, nullptr}}};
    EXPECT_EQ(m->RegisterFilter(kFilterC, u"x", nullptr, nullptr, nullptr, &v2), E_INVALIDARG) << "unknown layout";
    EXPECT_EQ(m->RegisterFilter(kFilterC, u"x", nullptr, nullptr, u"a\\b", &kTsSetup), E_INVALIDARG)
        << "an instance name that is a key path";
    EXPECT_EQ(CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory).size(), 1u);
}

TEST(FilterMapper, MatchingHonoursMeritTypesAndDirection) {
    ScopedRegistryHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    ASSERT_EQ(Register(m.Get(), kFilterA, u"TS feed", MERIT_DO_NOT_USE, kTsPins, 2), S_OK);
    ASSERT_EQ(Register(m.Get(), kFilterB, u"Unlikely renderer", MERIT_UNLIKELY, kRendererPins, 1), S_OK);
    ASSERT_EQ(Register(m.Get(), kFilterC, u"Normal renderer", MERIT_NORMAL, kRendererPins, 1), S_OK);

    ComPtr<IEnumMoniker> e;
    auto query = [&](DWORD merit, bool exact, bool needInput, std::vector<GUID> inTypes, bool render, bool needOutput) {
        EXPECT_EQ(m->EnumMatchingFilters(e.ReleaseAndGetAddressOf(), 0, exact, merit, needInput,
                                         static_cast<DWORD>(inTypes.size() / 2), inTypes.data(), nullptr, nullptr,
                                         render, needOutput, 0, nullptr, nullptr, nullptr), S_OK);
        return e ? Names(e.Get()) : std::vector<std::u16string>{};
    };
    using V = std::vector<std::u16string>;
    EXPECT_EQ(query(MERIT_DO_NOT_USE + 1, false, false, {}, false, false), (V{u"Normal renderer", u"Unlikely renderer"}))
        << "automatic building never sees the feed";
    EXPECT_EQ(query(0, false, false, {}, false, false), (V{u"Normal renderer", u"Unlikely renderer", u"TS feed"}));
    // The feed names the BDA subtype, the renderers take any stream subtype.
    std::vector<GUID> bda = {MEDIATYPE_Stream, KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT};
    EXPECT_EQ(query(0, false, true, bda, false, false), (V{u"Normal renderer", u"Unlikely renderer", u"TS feed"}));
    EXPECT_EQ(query(0, true, true, bda, false, false), (V{u"TS feed"})) << "exact match: no wildcards";
    EXPECT_EQ(query(0, false, true, bda, true, false), (V{u"Normal renderer", u"Unlikely renderer"}));
    EXPECT_EQ(query(0, false, false, {}, false, true), (V{u"TS feed"}));
    EXPECT_EQ(query(0, false, true, {FORMAT_None, GUID_NULL}, false, false), V{});
    // Pin categories and mediums are not stored, so nothing has them.
    ASSERT_EQ(m->EnumMatchingFilters(e.ReleaseAndGetAddressOf(), 0, FALSE, 0, TRUE, 0, nullptr, nullptr,
                                     &MEDIATYPE_Stream, FALSE, FALSE, 0, nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(Names(e.Get()).empty());

    // The enumerator: batches, skipping, cloning.
    query(MERIT_UNLIKELY, false, false, {}, false, false);
    ASSERT_EQ(e->Reset(), S_OK) << "back to the start after reading it all";
    IMoniker* batch[3] = {};
    ULONG got = 0;
    EXPECT_EQ(e->Next(3, batch, nullptr), E_INVALIDARG);
    EXPECT_EQ(e->Next(3, batch, &got), S_FALSE);
    ASSERT_EQ(got, 2u);
    EXPECT_EQ(CFilterMoniker::FromMoniker(batch[0])->Clsid(), kFilterC);
    EXPECT_EQ(batch[0]->IsEqual(batch[1]), S_FALSE);
    for (IMoniker* b : {batch[0], batch[1]}) b->Release();
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumMoniker> copy;
    ASSERT_EQ(e->Clone(copy.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(Names(copy.Get()), (V{u"Unlikely renderer"}));
    EXPECT_EQ(e->Skip(5), S_FALSE);
}

std::atomic<int> g_created{0};

TEST(FilterMapper, MonikerBindsThroughTheClassTable) {
    ScopedRegistryHome home;
    ComPtr<IFilterMapper2> m = NewMapper();
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(Register(m.Get(), kFilterC, u"C", MERIT_NORMAL, kRendererPins, 1, moniker.ReleaseAndGetAddressOf()), S_OK);
    IUnknown* unk = nullptr;
    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IUnknown, reinterpret_cast<void**>(&unk)), REGDB_E_CLASSNOTREG);

    struct Dummy : CUnknown {
        Dummy() : CUnknown("Dummy", nullptr) { ++g_created; }
    };
    static const CFactoryTemplate tmpl{u"C", &kFilterC, [](IUnknown*, HRESULT*) -> CUnknown* { return new Dummy; },
                                       nullptr, nullptr};
    static ModuleCounts counts;
    ComPtr<IClassFactory> factory;
    (new CClassFactory(&tmpl, counts))
        ->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
    ASSERT_EQ(CoRegisterClassFactory(kFilterC, factory.Get()), S_OK);
    ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(g_created.load(), 1);
    unk->Release();
    EXPECT_EQ(CoRevokeClassFactory(kFilterC), S_OK);
}

CUnknown* NewNothing(IUnknown*, HRESULT* phr) {
    *phr = E_OUTOFMEMORY;
    return nullptr;
}

const AMOVIESETUP_FILTER kSetupA = {&kFilterA, u"Velmar TS Feed filter", MERIT_DO_NOT_USE, 2, kTsPins};
const CFactoryTemplate kTemplates[] = {
    {u"Velmar TS Feed filter", &kFilterA, &NewNothing, nullptr, &kSetupA},
    {u"filter properties", &kPageA, &NewNothing, nullptr, nullptr},
};

TEST(FilterRegistration, RegistersBothClassesAndTheFilter) {
    ScopedRegistryHome home;
    const std::string module = "/opt/kestrel/Kestrel.ax";
    ASSERT_EQ(AMovieDllRegisterServer2(TRUE, kTemplates, 2, module), S_OK);
    ASSERT_EQ(AMovieDllRegisterServer2(TRUE, kTemplates, 2, module), S_OK) << "registering again changes nothing";
    const std::string a = "CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}";
    const std::string p = "CLSID\\{2C21A4B6-C51A-4990-B440-B0841534F73A}";
    EXPECT_EQ(Value(a, nullptr), "Velmar TS Feed filter");
    EXPECT_EQ(Value(p, nullptr), "filter properties");
    for (const std::string& key : {a, p}) {
        EXPECT_EQ(Value(key + "\\InprocServer32", nullptr), module) << key;
        EXPECT_EQ(Value(key + "\\InprocServer32", "ThreadingModel"), "Both") << key;
    }
    auto all = CFilterMapper2::ReadCategory(CLSID_LegacyAmFilterCategory);
    ASSERT_EQ(all.size(), 1u) << "only the template with setup data is a filter";
    EXPECT_EQ(all[0].clsid, kFilterA);
    EXPECT_EQ(all[0].data, CFilterMapper2::FromSetupData(kTsSetup));

    ASSERT_EQ(AMovieDllRegisterServer2(FALSE, kTemplates, 2, module), S_OK);
    EXPECT_FALSE(KeyExists(a));
    EXPECT_FALSE(KeyExists(p));
    EXPECT_FALSE(KeyExists(kInstanceA));
    EXPECT_EQ(AMovieDllRegisterServer2(FALSE, kTemplates, 2, module), S_OK) << "what is gone already is no failure";
}

TEST(FilterRegistration, ReportsTheFirstFailure) {
    ScopedRegistryHome home;
    const CFactoryTemplate noClass[] = {{u"x", nullptr, &NewNothing, nullptr, nullptr}};
    EXPECT_EQ(AMovieDllRegisterServer2(TRUE, noClass, 1, "x"), E_INVALIDARG);

    // A store that cannot be written: its directory is a plain file.
    home.Write("not-a-directory", "x");
    setenv("KESTREL_HOME", home.File("not-a-directory").c_str(), 1);
    HRESULT hr = AMovieDllRegisterServer2(TRUE, kTemplates, 2, "x");
    setenv("KESTREL_HOME", home.Path().c_str(), 1);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_DIRECTORY)) << "the system's reason, not a blanket failure";
    EXPECT_FALSE(KeyExists("CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}"));
}

}  // namespace
