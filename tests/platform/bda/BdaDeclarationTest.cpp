#include "BdaTestSupport.h"

using Names = std::vector<std::string>;

TEST_F(BdaTest, NoDeclarationMeansNoDevicesAndNoTuningSpaces) {
    auto devEnum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    ASSERT_TRUE(devEnum);
    ComPtr<IEnumMoniker> e;
    EXPECT_EQ(devEnum->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, e.ReleaseAndGetAddressOf(), 0), S_FALSE);
    EXPECT_FALSE(e);
    auto spaces = Create<ITuningSpaceContainer>(CLSID_SystemTuningSpaces, IID_ITuningSpaceContainer);
    ASSERT_TRUE(spaces);
    LONG count = -1;
    EXPECT_EQ(spaces->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
}

TEST_F(BdaTest, DevicesComeInDeclarationOrderAndMayLackAFriendlyName) {
    BdaDeclaration d;
    d.tuners = {Tuner("Alpha DVB-T", BdaNetwork::DVBT, {{"BDA Slip De-Framer", true}, {"Alpha Capture", true}}),
                Tuner(nullptr, BdaNetwork::DVBS, {{std::nullopt, true}}),
                Tuner("Gamma DVB-C", BdaNetwork::DVBC, {{"BDA MPE filter", false}, {"Gamma Capture", false}})};
    BdaSimulation::Declare(d);

    EXPECT_EQ(DeviceNames(KSCATEGORY_BDA_NETWORK_TUNER), (Names{"Alpha DVB-T", "<none>", "Gamma DVB-C"}));
    EXPECT_EQ(DeviceNames(KSCATEGORY_BDA_RECEIVER_COMPONENT),
              (Names{"BDA Slip De-Framer", "Alpha Capture", "<none>", "BDA MPE filter", "Gamma Capture"}));
    EXPECT_EQ(DeviceNames(KSCATEGORY_BDA_RECEIVER_COMPONENT), DeviceNames(KSCATEGORY_BDA_RECEIVER_COMPONENT))
        << "the order is stable";

    auto devEnum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    ComPtr<IEnumMoniker> e;
    EXPECT_EQ(devEnum->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, e.ReleaseAndGetAddressOf(), 0), S_FALSE)
        << "no other category has simulated devices";

    // The bag is read-only and typed.
    auto tuners = Devices(KSCATEGORY_BDA_NETWORK_TUNER);
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(tuners[0]->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf())), S_OK);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    EXPECT_EQ(bag->Read(u"FriendlyName", &v, nullptr), DISP_E_TYPEMISMATCH);
    v.vt = VT_EMPTY;
    EXPECT_EQ(bag->Read(u"friendlyname", &v, nullptr), E_INVALIDARG) << "property names are exact";
    EXPECT_EQ(bag->Write(u"FriendlyName", &v), E_NOTIMPL);
}

TEST_F(BdaTest, AVanishedTunerLeavesTheEnumerationWithItsReceiversAndCannotBeBound) {
    BdaDeclaration d;
    d.tuners = {Tuner("One", BdaNetwork::DVBT, {{"One Capture", true}}), Tuner("Two", BdaNetwork::DVBT)};
    BdaSimulation::Declare(d);
    auto before = Devices(KSCATEGORY_BDA_NETWORK_TUNER);
    ASSERT_EQ(before.size(), 2u);

    BdaSimulation::SetVanished("One", true);
    EXPECT_EQ(DeviceNames(KSCATEGORY_BDA_NETWORK_TUNER), (Names{"Two"}));
    EXPECT_TRUE(DeviceNames(KSCATEGORY_BDA_RECEIVER_COMPONENT).empty());
    ComPtr<IBaseFilter> filter;
    EXPECT_FALSE(SUCCEEDED(before[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                   reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()))));
    EXPECT_EQ(before[1]->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                      reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf())), S_OK);

    BdaSimulation::SetVanished("One", false);
    EXPECT_EQ(DeviceNames(KSCATEGORY_BDA_NETWORK_TUNER), (Names{"One", "Two"}));
}

TEST_F(BdaTest, TheSettingsFileDeclaresTunersAndTuningSpaces) {
    home_.Write("tuners.conf",
                "# two tuners\n"
                "[tuner]\n"
                "name = Velmar DVB-S2 Tuner   # the name feeds see\n"
                "network = DVB-S\n"
                "receiver = Velmar Capture\n"
                "receiver = Old Capture, refuses\n"
                "signal = 65\n"
                "lock-delay = 150\n"
                "bitrate = 4000000\n"
                "packet-size = 204\n"
                "seed = 7\n"
                "[tuner]\n"
                "network = ATSC\n"
                "lock-delay = never\n"
                "file = /tmp/some.ts\n"
                "[tuning-space]\n"
                "name = My VmDVB-S copy\n"
                "network = DVB-S\n"
                "[graph]\n"
                "export-filter = refuses\n"
                "demux-pins = 3\n");
    BdaDeclaration d = BdaSimulation::Current();
    ASSERT_EQ(d.tuners.size(), 2u);
    const SimTunerDeclaration& s = d.tuners[0];
    EXPECT_EQ(s.friendlyName, std::optional<std::string>("Velmar DVB-S2 Tuner"));
    EXPECT_EQ(s.network, BdaNetwork::DVBS);
    ASSERT_EQ(s.receivers.size(), 2u);
    EXPECT_EQ(s.receivers[0].friendlyName, std::optional<std::string>("Velmar Capture"));
    EXPECT_TRUE(s.receivers[0].accepts);
    EXPECT_EQ(s.receivers[1].friendlyName, std::optional<std::string>("Old Capture"));
    EXPECT_FALSE(s.receivers[1].accepts);
    EXPECT_EQ(s.signal, 65);
    EXPECT_EQ(s.lockDelayMs, 150);
    EXPECT_EQ(s.stream.bitrate, 4000000u);
    EXPECT_EQ(s.stream.packetSize, 204u);
    EXPECT_EQ(s.stream.seed, 7u);
    EXPECT_EQ(d.tuners[1].friendlyName, std::nullopt);
    EXPECT_EQ(d.tuners[1].network, BdaNetwork::ATSC);
    EXPECT_EQ(d.tuners[1].lockDelayMs, -1);
    EXPECT_EQ(d.tuners[1].stream.file, "/tmp/some.ts");
    ASSERT_EQ(d.tuningSpaces.size(), 1u) << "named tuning spaces replace the default set";
    EXPECT_EQ(d.tuningSpaces[0].friendlyName, "My VmDVB-S copy");
    EXPECT_FALSE(d.exportFilterAccepts);
    EXPECT_TRUE(d.exportFilterPresent);
    EXPECT_EQ(d.demuxOutputPins, 3u);
}

TEST_F(BdaTest, AFileWithoutTuningSpacesGetsTheDefaultSetWithASatelliteSpaceFeedsAccept) {
    BdaDeclaration d;
    ASSERT_TRUE(BdaSimulation::ParseText("[tuner]\nname = T\n", &d, nullptr));
    std::vector<std::pair<std::string, BdaNetwork>> spaces;
    for (auto& s : d.tuningSpaces) spaces.emplace_back(s.friendlyName, s.network);
    EXPECT_EQ(spaces, (std::vector<std::pair<std::string, BdaNetwork>>{{"Kestrel VmDVB-S", BdaNetwork::DVBS},
                                                                      {"Kestrel DVB-C", BdaNetwork::DVBC},
                                                                      {"Kestrel DVB-T", BdaNetwork::DVBT},
                                                                      {"Kestrel ATSC", BdaNetwork::ATSC}}));
}

TEST_F(BdaTest, BrokenDeclarationsNameTheLineAndDeclareNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"name = x\n", "1: key outside a section"},
        {"[tuner]\nnetwork = DVB-X\n", "2: network must be DVB-S, DVB-C, DVB-T or ATSC"},
        {"[tuner]\n\n# c\nsignal = 101\n", "4: signal must be 0 to 100"},
        {"[tuner]\nlock-delay = soon\n", "2: lock-delay must be milliseconds (0 to 600000) or never"},
        {"[tuner]\nbitrate = 0\n", "2: bitrate must be 1 to 1000000000 bit/s"},
        {"[tuner]\npacket-size = 190\n", "2: packet-size must be 188, 192 or 204"},
        {"[tuner]\nreceiver = , refuses\n", "2: receiver needs a name"},
        {"[tuner]\ncolour = red\n", "2: unknown tuner key colour"},
        {"[tuner]\nnonsense\n", "2: expected key = value"},
        {"[tuners]\n", "1: unknown section [tuners]"},
        {"[graph]\nexport-filter = maybe\n", "2: export-filter must be accepts, refuses or absent"},
        {"[graph]\ndemux-pins = 33\n", "2: demux-pins must be 0 to 32"},
    };
    for (const auto& [text, why] : cases) {
        BdaDeclaration d;
        std::string error;
        EXPECT_FALSE(BdaSimulation::ParseText(text, &d, &error)) << text;
        EXPECT_EQ(error, why) << text;
    }
    home_.Write("tuners.conf", "[tuner]\nname = Fine\n[tuner]\nsignal = loud\n");
    std::string error;
    BdaDeclaration d;
    EXPECT_FALSE(BdaSimulation::ParseFile(BdaSimulation::DefaultFilePath(), &d, &error));
    EXPECT_EQ(error, home_.File("tuners.conf") + ":4: signal must be 0 to 100");
    EXPECT_TRUE(BdaSimulation::Current().tuners.empty()) << "half a file declares nothing";
}
