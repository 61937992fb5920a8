#include "BdaTestSupport.h"
#include "platform/bda/BdaCallLog.h"
#include "platform/bda/CSimTunerFilter.h"

using Lines = std::vector<std::string>;

namespace {
VARIANT Id(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::string Text(BSTR s) {
    std::string t = WideToUtf8(std::u16string_view(s ? s : u"", SysStringLen(s)));
    SysFreeString(s);
    return t;
}
}  // namespace

TEST_F(BdaTest, TheContainerNumbersItsTuningSpacesFromOne) {
    BdaDeclaration d;
    d.tuningSpaces = {{"Astra VmDVB-S", BdaNetwork::DVBS}, {"Cable", BdaNetwork::DVBC}, {"Air", BdaNetwork::ATSC}};
    BdaSimulation::Declare(d);
    auto c = Create<ITuningSpaceContainer>(CLSID_SystemTuningSpaces, IID_ITuningSpaceContainer);
    ASSERT_TRUE(c);
    LONG count = 0;
    ASSERT_EQ(c->get_Count(&count), S_OK);
    ASSERT_EQ(count, 3);

    ComPtr<ITuningSpace> space;
    EXPECT_EQ(c->get_Item(Id(0), space.ReleaseAndGetAddressOf()), E_INVALIDARG);
    EXPECT_EQ(c->get_Item(Id(4), space.ReleaseAndGetAddressOf()), E_INVALIDARG);
    EXPECT_EQ(c->get_Item(Id(-1), space.ReleaseAndGetAddressOf()), E_INVALIDARG);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    EXPECT_EQ(c->get_Item(text, space.ReleaseAndGetAddressOf()), DISP_E_TYPEMISMATCH);

    const std::tuple<LONG, const char*, GUID, bool> items[] = {
        {1, "Astra VmDVB-S", CLSID_DVBSNetworkProvider, false},
        {2, "Cable", CLSID_DVBCNetworkProvider, false},
        {3, "Air", CLSID_ATSCNetworkProvider, true},
    };
    for (const auto& [id, name, type, atsc] : items) {
        ASSERT_EQ(c->get_Item(Id(id), space.ReleaseAndGetAddressOf()), S_OK) << id;
        BSTR s = nullptr;
        ASSERT_EQ(space->get_FriendlyName(&s), S_OK);
        EXPECT_EQ(Text(s), name);
        GUID network = GUID_NULL;
        ASSERT_EQ(space->get__NetworkType(&network), S_OK);
        EXPECT_EQ(network, type) << name;
        EXPECT_EQ(bool(Query<IATSCTuningSpace>(space, IID_IATSCTuningSpace)), atsc) << name;
        EXPECT_EQ(bool(Query<IDVBTuningSpace>(space, IID_IDVBTuningSpace)), !atsc) << name;

        ComPtr<ITuneRequest> request;
        ASSERT_EQ(space->CreateTuneRequest(request.ReleaseAndGetAddressOf()), S_OK);
        EXPECT_EQ(bool(Query<IATSCChannelTuneRequest>(request, IID_IATSCChannelTuneRequest)), atsc);
        EXPECT_EQ(bool(Query<IDVBTuneRequest>(request, IID_IDVBTuneRequest)), !atsc);
        ComPtr<ITuningSpace> owner;
        ASSERT_EQ(request->get_TuningSpace(owner.ReleaseAndGetAddressOf()), S_OK);
        EXPECT_EQ(Query<IUnknown>(owner, IID_IUnknown).Get(), Query<IUnknown>(space, IID_IUnknown).Get());
    }
}

TEST_F(BdaTest, LocatorsAnswerOnlyTheInterfacesOfTheirKind) {
    const GUID classes[] = {CLSID_DVBSLocator, CLSID_DVBTLocator, CLSID_DVBCLocator, CLSID_ATSCLocator};
    const GUID kinds[] = {IID_IDVBSLocator, IID_IDVBTLocator, IID_IDVBCLocator, IID_IATSCLocator};
    for (size_t i = 0; i < 4; ++i) {
        auto locator = Create<ILocator>(classes[i], IID_ILocator);
        ASSERT_TRUE(locator) << i;
        for (size_t k = 0; k < 4; ++k)
            EXPECT_EQ(bool(Query<IUnknown>(locator, kinds[k])), i == k) << i << " " << k;
        LONG unset = 0;
        ModulationType modulation = BDA_MOD_QPSK;
        EXPECT_EQ(locator->get_CarrierFrequency(&unset), S_OK);
        EXPECT_EQ(locator->get_Modulation(&modulation), S_OK);
        EXPECT_EQ(unset, -1) << "never set reads as not set";
        EXPECT_EQ(modulation, BDA_MOD_NOT_SET);
    }
}

TEST_F(BdaTest, EveryPropertySetIsRecordedInOrder) {
    BdaDeclaration d;
    d.tuningSpaces = {{"Astra VmDVB-S", BdaNetwork::DVBS}, {"Terrestrial", BdaNetwork::DVBT}};
    BdaSimulation::Declare(d);
    auto c = Create<ITuningSpaceContainer>(CLSID_SystemTuningSpaces, IID_ITuningSpaceContainer);
    ComPtr<ITuningSpace> sat, ter;
    ASSERT_EQ(c->get_Item(Id(1), sat.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(c->get_Item(Id(2), ter.ReleaseAndGetAddressOf()), S_OK);
    BdaCallLog::Clear();

    auto s = Create<IDVBSLocator>(CLSID_DVBSLocator, IID_IDVBSLocator);
    ASSERT_TRUE(s);
    s->put_Azimuth(-1);
    s->put_WestPosition(VARIANT_TRUE);
    s->put_CarrierFrequency(11836000);
    s->put_Modulation(BDA_MOD_8PSK);
    s->put_SignalPolarisation(BDA_POLARISATION_LINEAR_V);
    s->put_CarrierFrequency(12000000);
    ComPtr<ITuneRequest> request;
    ASSERT_EQ(sat->CreateTuneRequest(request.ReleaseAndGetAddressOf()), S_OK);
    auto dvb = Query<IDVBTuneRequest>(request, IID_IDVBTuneRequest);
    dvb->put_ONID(0xFFFF);
    request->put_Locator(s.Get());
    dvb->put_SID(0);
    auto t = Create<IDVBTLocator>(CLSID_DVBTLocator, IID_IDVBTLocator);
    t->put_OtherFrequencyInUse(VARIANT_FALSE);
    ter->put_DefaultLocator(t.Get());
    ter->put_DefaultLocator(nullptr);

    auto provider = Create<ITuner>(CLSID_DVBSNetworkProvider, IID_ITuner);
    ASSERT_TRUE(provider);
    EXPECT_EQ(provider->put_TuningSpace(sat.Get()), S_OK);
    EXPECT_EQ(provider->put_TuneRequest(request.Get()), S_OK) << "kept until a tuner connects";
    EXPECT_EQ(provider->put_TuningSpace(ter.Get()), E_INVALIDARG) << "a terrestrial space is no satellite network";
    ComPtr<ITuneRequest> wrong;
    ASSERT_EQ(ter->CreateTuneRequest(wrong.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(provider->put_TuneRequest(wrong.Get()), E_INVALIDARG);
    LONG strength = -1;
    EXPECT_EQ(provider->get_SignalStrength(&strength), S_OK);
    EXPECT_EQ(strength, 0) << "no tuner, no signal";

    EXPECT_EQ(BdaCallLog::Lines(), (Lines{
                                       "DVBSLocator.put_Azimuth=-1",
                                       "DVBSLocator.put_WestPosition=-1",
                                       "DVBSLocator.put_CarrierFrequency=11836000",
                                       "DVBSLocator.put_Modulation=27",
                                       "DVBSLocator.put_SignalPolarisation=2",
                                       "DVBSLocator.put_CarrierFrequency=12000000",
                                       "DVBTuneRequest.put_ONID=65535",
                                       "DVBTuneRequest.put_Locator=DVBSLocator",
                                       "DVBTuneRequest.put_SID=0",
                                       "DVBTLocator.put_OtherFrequencyInUse=0",
                                       "TuningSpace.put_DefaultLocator=DVBTLocator",
                                       "TuningSpace.put_DefaultLocator=null",
                                       "DVBSNetworkProvider.put_TuningSpace=Astra VmDVB-S",
                                       "DVBSNetworkProvider.put_TuneRequest=DVBTuneRequest",
                                       "DVBSNetworkProvider.put_TuningSpace=Terrestrial",
                                       "DVBSNetworkProvider.put_TuneRequest=DVBTuneRequest",
                                   }));
    LONG frequency = 0;
    EXPECT_EQ(s->get_CarrierFrequency(&frequency), S_OK);
    EXPECT_EQ(frequency, 12000000) << "the last value set is the one read";
}

TEST_F(BdaTest, AutomationStringsKeepTheirLengthAndVariantsOwnTheirText) {
    BSTR s = SysAllocStringLen(u"ab\0cd", 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u) << "an embedded zero does not end the text";
    EXPECT_EQ(s[5], u'\0');
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = VT_BSTR;
    a.bstrVal = s;
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_NE(b.bstrVal, a.bstrVal);
    EXPECT_EQ(SysStringLen(b.bstrVal), 5u);
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&b), S_OK);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST_F(BdaTest, ALockedTunerReportsItsLevelAsAPositiveStrengthAndTakesOnlyLocatorsOfItsNetwork) {
    BdaDeclaration d;
    d.tuningSpaces = {{"T", BdaNetwork::DVBT}};
    BdaSimulation::Declare(d);
    auto c = Create<ITuningSpaceContainer>(CLSID_SystemTuningSpaces, IID_ITuningSpaceContainer);
    ComPtr<ITuningSpace> space;
    ASSERT_EQ(c->get_Item(Id(1), space.ReleaseAndGetAddressOf()), S_OK);
    auto request = [&](REFCLSID locatorClass) {
        ComPtr<ITuneRequest> r;
        space->CreateTuneRequest(r.ReleaseAndGetAddressOf());
        r->put_Locator(Create<ILocator>(locatorClass, IID_ILocator).Get());
        return r;
    };
    const std::pair<int, LONG> levels[] = {{0, 0}, {1, 327 << 16}, {50, 16383 << 16}, {80, 26213 << 16}, {100, 0x7FFF << 16}};
    for (const auto& [percent, strength] : levels) {
        SimTunerDeclaration declared = Tuner("T", BdaNetwork::DVBT);
        declared.signal = percent;
        auto* tuner = new CSimTunerFilter(0, declared);
        tuner->NonDelegatingAddRef();
        EXPECT_EQ(tuner->SignalStrength(), 0) << "not tuned yet";
        EXPECT_EQ(tuner->Tune(request(CLSID_DVBSLocator).Get()), E_INVALIDARG) << "a satellite locator";
        EXPECT_EQ(tuner->SignalStrength(), 0);
        EXPECT_EQ(tuner->Tune(request(CLSID_DVBTLocator).Get()), S_OK);
        EXPECT_EQ(tuner->SignalStrength(), strength) << percent;
        EXPECT_GE(tuner->SignalStrength(), 0);
        tuner->NonDelegatingRelease();
    }
}
