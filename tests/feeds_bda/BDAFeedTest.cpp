// The BDA feed on simulated tuners: detection, the private graph's build with its
// messages, tuning, the connect log and the samples handed back.
#include "feeds/bda/BDAFeed.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <sstream>

#include "feeds/bda/BdaGraphHelpers.h"
#include "host/HostResources.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/sim/PacedStream.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/feeds_bda/BdaFeedTestSupport.h"
#include "tests/support/SampleRecorder.h"
#include "tests/support/WaitUntil.h"

using namespace bdatest;

namespace {

BdaDeclaration OneTuner(SimTunerDeclaration tuner) {
    BdaDeclaration d;
    d.tuners = {std::move(tuner)};
    d.tuningSpaces = AllSpaces();
    return d;
}

// 'A' an upper-case letter, 'a' a lower-case one, '9' a digit, '_' a digit or a blank;
// anything else stands for itself.
bool FitsShape(const std::string& text, const std::string& shape) {
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool fits = shape[i] == 'A' ? std::isupper(c) != 0
                          : shape[i] == 'a' ? std::islower(c) != 0
                          : shape[i] == '9' ? std::isdigit(c) != 0
                          : shape[i] == '_' ? (std::isdigit(c) != 0 || c == ' ')
                                            : c == static_cast<unsigned char>(shape[i]);
        if (!fits) return false;
    }
    return true;
}

std::u16string FromUtf16Le(const std::string& bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8));
    return text;
}

TEST(BdaDetection, OneFeedPerTunerWithAFriendlyNameInPlatformOrder) {
    BdaDeclaration d;
    SimTunerDeclaration unnamed = Tuner("", BdaNetwork::DVBC);
    unnamed.friendlyName.reset();
    d.tuners = {Tuner("Sim DVB-T2 Stick", BdaNetwork::DVBT), unnamed, Tuner("TT-connect S2 DVB-S2", BdaNetwork::DVBS)};
    Simulation sim(d);
    struct Case {
        uint32_t index;
        const char* name;
        int32_t type;
        uint32_t caps;
    };
    const Case cases[] = {{0, "Sim DVB-T2 Stick", kFeedDvbT2, 0x084}, {1, "TT-connect S2 DVB-S2", kFeedDvbS2, 0x041}};
    for (const Case& c : cases) {
        CBDAFeed feed(c.index);
        EXPECT_EQ(feed.GetType(), c.type) << c.name;
        EXPECT_EQ(feed.GetCapabilities(), c.caps) << c.name;
        EXPECT_STREQ(feed.GetName(), c.name);
        EXPECT_EQ(std::string(feed.GetDescription()), std::string("BDA: ") + c.name);
        EXPECT_EQ(std::string(feed.GetDetails()), std::string("BDA: ") + c.name);
        EXPECT_EQ(feed.Record().word[0], uint32_t(c.type));
        EXPECT_EQ(feed.LastSelectedType(), 3);
        EXPECT_EQ(feed.GetErrorText(), nullptr);
    }
    CBDAFeed end(2);
    EXPECT_EQ(end.GetType(), kFeedNone);
    EXPECT_STREQ(end.GetName(), "invalid");
    EXPECT_STREQ(end.GetDetails(), "");
}

TEST(BdaDetection, LongNamesAreCutAt99Characters) {
    const std::string longName = "DVB-C " + std::string(120, 'x');
    Simulation sim(OneTuner(Tuner(longName, BdaNetwork::DVBC)));
    CBDAFeed feed(0);
    EXPECT_EQ(std::string(feed.GetName()), longName.substr(0, 99));
    EXPECT_EQ(std::string(feed.GetDetails()), ("BDA: " + longName).substr(0, 99));
    EXPECT_EQ(feed.GetType(), kFeedDvbC);
}

TEST(BdaDetection, AnUnclassifiedNameAsksThePerson) {
    Simulation sim(OneTuner(Tuner("dvb-t stick", BdaNetwork::DVBS)));
    RegisterHostResources();
    {
        ScriptedPresenter presenter;
        ScopedPresenter scope(&presenter);
        presenter.Check(203).Ok();
        CBDAFeed feed(0);
        ASSERT_EQ(presenter.Dialogs().size(), 1u);
        EXPECT_EQ(presenter.Dialogs()[0].name, "BDA_SELECTTYPE");
        EXPECT_EQ(presenter.Dialogs()[0].Shown().Find(200)->check, int{BST_CHECKED}) << "opens on DVB-T";
        EXPECT_EQ(feed.GetType(), kFeedDvbS2);
        EXPECT_EQ(feed.GetCapabilities(), 0x041u);
        EXPECT_EQ(feed.Record().word[1], 11836000u);
        EXPECT_EQ(feed.LastSelectedType(), kFeedDvbS2);
    }
    // Without anyone to ask the dialog cannot be shown: the feed is listed with the
    // failure value as its type and cannot start.
    CBDAFeed feed(0);
    EXPECT_EQ(feed.GetType(), -1);
    EXPECT_EQ(feed.GetCapabilities(), 0u);
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(feed.GetErrorText(), "Unsupported BDA network provider type.");
}

class BdaFeedTest : public ::testing::Test {
protected:
    void Run(CBDAFeed& feed, int32_t param = 0) {
        feed.SetCallback(&recorder, &SampleRecorder::Callback);
        ASSERT_TRUE(feed.Start(param)) << (feed.GetErrorText() ? feed.GetErrorText() : "");
    }
    SampleRecorder recorder;
};

TEST_F(BdaFeedTest, StreamsTheTunersPacketsInOrder) {
    Simulation sim(OneTuner(Tuner("Sim DVB-T", BdaNetwork::DVBT, 7)));
    CBDAFeed feed(0);
    EXPECT_EQ(feed.GetStatus(), 0) << "no graph yet";
    EXPECT_EQ(feed.GetSignalLevel(), 0);
    Run(feed);
    ASSERT_TRUE(recorder.WaitForBytes(188 * 500));
    EXPECT_EQ(feed.GetStatus(), 0xFF);
    EXPECT_GT(feed.GetSignalLevel(), 0);
    EXPECT_GT(feed.GetLastDataTime(), 0u);
    feed.Stop();
    const auto got = SampleRecorder::Join(recorder.Samples());
    PacedStreamSource declared;
    declared.seed = 7;
    const auto want = PacedStream::Reference(declared, got.size());
    ASSERT_EQ(got.size() % 188, 0u);
    EXPECT_TRUE(got == want) << "the stream differs from the tuner's";
}

TEST_F(BdaFeedTest, StartSetsTheIdentifiersAndTheServiceFromTheArgument) {
    Simulation sim(OneTuner(Tuner("Sim DVB-C", BdaNetwork::DVBC)));
    CBDAFeed feed(0);
    const std::pair<int32_t, const char*> cases[] = {{0, "=0"}, {0x12345, "=9029"}, {-1, "=65535"}};
    for (const auto& [param, sid] : cases) {
        BdaCallLog::Clear();
        Run(feed, param);
        const auto ids = Calls("DVBTuneRequest.put_");
        ASSERT_GE(ids.size(), 3u);
        const std::vector<std::string> tail(ids.end() - 3, ids.end());
        EXPECT_EQ(tail, (std::vector<std::string>{"DVBTuneRequest.put_ONID=65535", "DVBTuneRequest.put_TSID=65535",
                                                  std::string("DVBTuneRequest.put_SID") + sid}))
            << param;
        feed.Stop();
    }
}

TEST_F(BdaFeedTest, TerrestrialBuilderSetsItsPropertiesInOrder) {
    Simulation sim(OneTuner(Tuner("Sim DVB-T", BdaNetwork::DVBT)));
    CBDAFeed feed(0);
    Run(feed);
    const std::vector<std::string> want = {
        "DVBTLocator.put_CarrierFrequency=538000", "DVBTLocator.put_InnerFEC=-1",
        "DVBTLocator.put_InnerFECRate=-1",         "DVBTLocator.put_OuterFEC=-1",
        "DVBTLocator.put_OuterFECRate=-1",         "DVBTLocator.put_Modulation=-1",
        "DVBTLocator.put_SymbolRate=8",            "DVBTLocator.put_Bandwidth=8",
        "DVBTLocator.put_Guard=-1",                "DVBTLocator.put_HAlpha=-1",
        "DVBTLocator.put_LPInnerFEC=-1",           "DVBTLocator.put_LPInnerFECRate=-1",
        "DVBTLocator.put_Mode=-1",                 "DVBTLocator.put_OtherFrequencyInUse=0"};
    EXPECT_EQ(Calls("DVBTLocator."), want);
    EXPECT_EQ(Calls("TuningSpace.put_DefaultLocator"), (std::vector<std::string>{"TuningSpace.put_DefaultLocator=DVBTLocator"}));
    const std::vector<std::string> request = {
        "DVBTuneRequest.put_ONID=-1",         "DVBTuneRequest.put_TSID=-1", "DVBTuneRequest.put_SID=-1",
        "DVBTuneRequest.put_Locator=DVBTLocator", "DVBTuneRequest.put_ONID=-1", "DVBTuneRequest.put_TSID=-1",
        "DVBTuneRequest.put_SID=-1",          "DVBTuneRequest.put_ONID=65535", "DVBTuneRequest.put_TSID=65535",
        "DVBTuneRequest.put_SID=0"};
    EXPECT_EQ(Calls("DVBTuneRequest."), request);
}

TEST_F(BdaFeedTest, SatelliteAndCableBuilderQuirks) {
    BdaDeclaration d;
    d.tuningSpaces = {{"Astra VmDVB-S", BdaNetwork::DVBS}, {"Cable", BdaNetwork::DVBC}};
    Simulation sim(d);
    auto space = [](BdaNetwork network) {
        ComPtr<ITuningSpace> chosen;
        SelectTuningSpace(nullptr, network == BdaNetwork::DVBS ? kFeedDvbS : kFeedDvbC, NetworkProviderClass(network),
                          &chosen);
        return chosen;
    };
    const auto sat = space(BdaNetwork::DVBS);
    const auto cable = space(BdaNetwork::DVBC);
    ASSERT_TRUE(sat && cable);
    struct Case {
        const char* what;
        std::function<bool()> build;
        const char* prefix;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"plain DVB-S sets no FEC", [&] { return bool(BuildDvbSRequest(sat.Get(), 11836000, 27500, 0)); },
         "DVBSLocator.",
         {"DVBSLocator.put_Azimuth=-1", "DVBSLocator.put_Elevation=-1", "DVBSLocator.put_OrbitalPosition=0",
          "DVBSLocator.put_WestPosition=0", "DVBSLocator.put_CarrierFrequency=11836000",
          "DVBSLocator.put_Modulation=20", "DVBSLocator.put_SymbolRate=27500", "DVBSLocator.put_SignalPolarisation=2"}},
        {"modulation code 3 leaves the modulation alone",
         [&] { return bool(BuildDvbSModulatedRequest(sat.Get(), 3, 12000000, 22000, 1)); },
         "DVBSLocator.",
         {"DVBSLocator.put_Azimuth=-1", "DVBSLocator.put_Elevation=-1", "DVBSLocator.put_OrbitalPosition=0",
          "DVBSLocator.put_WestPosition=0", "DVBSLocator.put_CarrierFrequency=12000000", "DVBSLocator.put_InnerFEC=1",
          "DVBSLocator.put_InnerFECRate=-1", "DVBSLocator.put_OuterFEC=2", "DVBSLocator.put_OuterFECRate=-1",
          "DVBSLocator.put_SymbolRate=22000", "DVBSLocator.put_SignalPolarisation=1"}},
        {"DVB-S2 QPSK goes as 8VSB", [&] { return bool(BuildDvbSModulatedRequest(sat.Get(), 1, 1, 1, 1)); },
         "DVBSLocator.put_Modulation", {"DVBSLocator.put_Modulation=23"}},
        {"QAM 80 leaves the modulation unset", [&] { return bool(BuildDvbCRequest(cable.Get(), 410000, 6900, 80)); },
         "DVBCLocator.",
         {"DVBCLocator.put_CarrierFrequency=410000", "DVBCLocator.put_InnerFEC=2", "DVBCLocator.put_InnerFECRate=-1",
          "DVBCLocator.put_OuterFEC=-1", "DVBCLocator.put_OuterFECRate=-1", "DVBCLocator.put_SymbolRate=6900"}},
        {"QAM 128 is 7", [&] { return bool(BuildDvbCRequest(cable.Get(), 1, 1, 128)); }, "DVBCLocator.put_Modulation",
         {"DVBCLocator.put_Modulation=7"}},
    };
    for (const Case& c : cases) {
        BdaCallLog::Clear();
        EXPECT_TRUE(c.build()) << c.what;
        EXPECT_EQ(Calls(c.prefix), c.want) << c.what;
    }
}

TEST_F(BdaFeedTest, TuningSpaceRules) {
    struct Case {
        const char* what;
        const char* tuner;
        BdaNetwork network;
        std::vector<SimTuningSpaceDeclaration> spaces;
        const char* chosen;  // null: the start fails
    };
    const Case cases[] = {
        {"satellite needs the mark, case-sensitive", "Sim DVB-S", BdaNetwork::DVBS,
         {{"Astra vmdvb-s", BdaNetwork::DVBS}, {"Astra", BdaNetwork::DVBS}, {"My VmDVB-S copy", BdaNetwork::DVBC},
          {"My VmDVB-S copy", BdaNetwork::DVBS}},
         "DVBSNetworkProvider.put_TuningSpace=My VmDVB-S copy"},
        {"lower-case mark only", "Sim DVB-S2", BdaNetwork::DVBS, {{"my vmdvb-s copy", BdaNetwork::DVBS}}, nullptr},
        {"cable takes the first of its type whatever the name", "Sim DVB-C", BdaNetwork::DVBC,
         {{"Terrestrial", BdaNetwork::DVBT}, {"anything", BdaNetwork::DVBC}, {"second", BdaNetwork::DVBC}},
         "DVBCNetworkProvider.put_TuningSpace=anything"},
        {"no space of the type", "Sim DVB-T", BdaNetwork::DVBT, {{"Cable", BdaNetwork::DVBC}}, nullptr},
    };
    for (const Case& c : cases) {
        BdaDeclaration d;
        d.tuners = {Tuner(c.tuner, c.network)};
        d.tuningSpaces = c.spaces;
        Simulation sim(d);
        CBDAFeed feed(0);
        const bool started = feed.Start(0);
        EXPECT_EQ(started, c.chosen != nullptr) << c.what;
        if (c.chosen) {
            EXPECT_EQ(Calls(std::string(c.chosen).substr(0, std::string(c.chosen).find('='))),
                      std::vector<std::string>{c.chosen})
                << c.what;
        } else {
            EXPECT_STREQ(feed.GetErrorText(), "Unable to find correct tuningspace.") << c.what;
        }
    }
}

TEST_F(BdaFeedTest, StartFailuresGiveTheirMessages) {
    struct Case {
        const char* what;
        std::function<void(BdaDeclaration&)> change;
        std::function<void(CBDAFeed&)> prepare;
        const char* message;
    };
    const Case cases[] = {
        {"no export filter", [](BdaDeclaration& d) { d.exportFilterPresent = false; }, nullptr,
         "Unable to load the Velmar Directshow TS export filter. Please reinstall this application."},
        {"5 MHz cannot be built", nullptr,
         [](CBDAFeed& f) {
             const uint8_t descriptor[13] = {0x5A, 11, 0x00, 0x52, 0x17, 0x20, 0x60};
             ScriptedPresenter p;
             ScopedPresenter s(&p);
             p.Cancel();
             f.ShowConfigDialog(nullptr, nullptr, descriptor);
         },
         "Unable to build BDA tune request."},
        {"the tuner vanished", nullptr, [](CBDAFeed&) { BdaSimulation::SetVanished("Sim DVB-T", true); },
         "Unable to initialize the selected BDA driver."},
    };
    RegisterHostResources();
    for (const Case& c : cases) {
        BdaDeclaration d = OneTuner(Tuner("Sim DVB-T", BdaNetwork::DVBT));
        if (c.change) c.change(d);
        Simulation sim(d);
        CBDAFeed feed(0);
        if (c.prepare) c.prepare(feed);
        EXPECT_FALSE(feed.Start(0)) << c.what;
        EXPECT_STREQ(feed.GetErrorText(), c.message) << c.what;
        BdaSimulation::SetVanished("Sim DVB-T", false);
    }
}

TEST_F(BdaFeedTest, ReceiverComponentsAreTriedAndSkipped) {
    BdaDeclaration d = OneTuner(Tuner("Sim DVB-T", BdaNetwork::DVBT));
    d.tuners[0].receivers = {{"BDA Slip De-Framer", true}, {"A", false}, {"BDA MPE filter", true}, {"B", true}};
    Simulation sim(d);
    std::u16string name;
    ComPtr<IBaseFilter> found = FindReceiverComponent(1, &name);
    EXPECT_TRUE(found);
    EXPECT_EQ(WideToUtf8(name), "B");
    EXPECT_FALSE(FindReceiverComponent(2, &name));
    CBDAFeed feed(0);
    Run(feed);
    EXPECT_TRUE(recorder.WaitForSamples(1)) << "A refused, B connected";
}

TEST_F(BdaFeedTest, ATunerNoReceiverTakesIsItsOwnCaptureFilter) {
    BdaDeclaration d = OneTuner(Tuner("Sim DVB-T", BdaNetwork::DVBT));
    d.tuners[0].receivers = {{"Refuses", false}, {std::nullopt, false}};
    d.demuxOutputPins = 2;  // fewer than five: pin 4 is not rendered
    Simulation sim(d);
    CBDAFeed feed(0);
    Run(feed);
    EXPECT_TRUE(recorder.WaitForSamples(1));
}

TEST(BdaGraphHelpers, FindPinLooksAtTheFirstTenPinsOnly) {
    BdaDeclaration d;
    d.demuxOutputPins = 12;
    Simulation sim(d);
    ComPtr<IBaseFilter> demux;
    ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(demux.ReleaseAndGetAddressOf())),
              S_OK);
    ComPtr<IEnumPins> pins;
    demux->EnumPins(pins.ReleaseAndGetAddressOf());
    std::vector<ComPtr<IPin>> all;
    for (ComPtr<IPin> pin; pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) all.push_back(pin);
    ASSERT_EQ(all.size(), 13u);
    unsigned outputsInFirstTen = 0;
    for (size_t i = 0; i < 10; ++i) {
        PIN_DIRECTION dir;
        all[i]->QueryDirection(&dir);
        if (dir != PINDIR_OUTPUT) continue;
        EXPECT_EQ(FindPin(demux.Get(), PINDIR_OUTPUT, outputsInFirstTen).Get(), all[i].Get());
        ++outputsInFirstTen;
    }
    for (unsigned n = outputsInFirstTen; n < 12; ++n) EXPECT_FALSE(FindPin(demux.Get(), PINDIR_OUTPUT, n)) << n;
    EXPECT_TRUE(FindPin(demux.Get(), PINDIR_INPUT, 0));
    EXPECT_FALSE(FindPin(demux.Get(), PINDIR_INPUT, 1));
}

TEST(BdaGraphHelpers, AddFilterByClsidUsesTheRegisteredName) {
    Simulation sim(BdaDeclaration{});
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf()));
    ASSERT_TRUE(graph);
    auto tee = [] {
        ComPtr<IBaseFilter> f;
        CoCreateInstance(CLSID_InfTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                         reinterpret_cast<void**>(f.ReleaseAndGetAddressOf()));
        return f;
    };
    const std::string key = "CLSID\\" + GuidToString(CLSID_InfTee);
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), &k), ERROR_SUCCESS);
    SetString(k, nullptr, "Named Tee");
    RegCloseKey(k);
    auto first = tee();
    EXPECT_EQ(AddFilterByClsid(graph.Get(), first.Get(), CLSID_InfTee), S_OK);
    ComPtr<IBaseFilter> byName;
    EXPECT_EQ(graph->FindFilterByName(u"Named Tee", byName.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(byName.Get(), first.Get());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    auto second = tee();
    EXPECT_TRUE(SUCCEEDED(AddFilterByClsid(graph.Get(), second.Get(), CLSID_InfTee))) << "added unnamed";
}

TEST_F(BdaFeedTest, DuplicateNamesUseTheFirstDevice) {
    BdaDeclaration d;
    d.tuners = {Tuner("Twin DVB-T", BdaNetwork::DVBT, 11), Tuner("Twin DVB-T", BdaNetwork::DVBT, 22)};
    d.tuningSpaces = AllSpaces();
    Simulation sim(d);
    CBDAFeed second(1);
    EXPECT_EQ(second.GetType(), kFeedDvbT);
    Run(second);
    ASSERT_TRUE(recorder.WaitForBytes(188 * 10));
    second.Stop();
    const auto got = SampleRecorder::Join(recorder.Samples());
    PacedStreamSource first;
    first.seed = 11;
    EXPECT_TRUE(got == PacedStream::Reference(first, got.size()));
}

TEST_F(BdaFeedTest, ConnectLogIsAppendedWhenTheExportFilterCannotBeConnected) {
    BdaDeclaration d = OneTuner(Tuner("Sim DVB-T", BdaNetwork::DVBT));
    d.exportFilterAccepts = false;
    Simulation sim(d);
    const std::string path = CBDAFeed::ConnectLogPath();
    EXPECT_EQ(path, sim.home.Path() + "/drive_c/Brix BDA Log.txt");
    std::filesystem::create_directories(sim.home.Path() + "/drive_c");
    const std::string earlier = "earlier contents\r\n";
    std::ofstream(path, std::ios::binary) << earlier;

    CBDAFeed feed(0);
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(feed.GetErrorText(),
                 "Unable to connect helper filter. Your BDA drivers are not compatible to this software.A debug log "
                 "(C:\\Brix BDA Log.txt) has been created.");
    const std::string bytes = ReadWholeFile(path);
    ASSERT_EQ(bytes.compare(0, earlier.size(), earlier), 0) << "earlier contents stay";
    // Everything appended is UTF-16LE: our lines and the graph's trace between them.
    const std::string log = WideToUtf8(FromUtf16Le(bytes.substr(earlier.size())));
    const std::string header = log.substr(0, log.find(")\r\n") + 3);
    EXPECT_TRUE(FitsShape(header, "BDA Connect log (build time Aaa _9 9999 99:99:99, local time "
                                  "Aaa Aaa _9 99:99:99 9999\n)\r\n"))
        << header;
    std::vector<std::string> lines;
    for (size_t at = header.size(); at < log.size();) {
        const size_t end = log.find("\r\n", at);
        lines.push_back(log.substr(at, end - at));
        at = end == std::string::npos ? log.size() : end + 2;
    }
    const std::string rule(29, '=');
    const std::string teeToExport = R"("Infinite Pin Tee Filter":"Output2" -> "Velmar TS Export Filter":"Input")";
    ASSERT_GE(lines.size(), 6u) << log;
    EXPECT_EQ(lines[0], "Connect direct");
    EXPECT_EQ(lines[1], rule);
    size_t i = 2;
    for (; i < lines.size() && lines[i] != "Connect"; ++i)
        EXPECT_EQ(lines[i].rfind("ConnectDirect " + teeToExport, 0), 0u) << lines[i];
    EXPECT_GT(i, 2u) << "the graph traced the direct attempt";
    ASSERT_LT(i + 2, lines.size()) << log;
    EXPECT_EQ(lines[i + 1], rule);
    for (size_t k = i + 2; k < lines.size(); ++k)
        EXPECT_EQ(lines[k].rfind("Connect \"Infinite Pin Tee Filter\":\"Output2\" -> ", 0), 0u) << lines[k];
    EXPECT_NE(lines.back().find(teeToExport + " through registered filters"), std::string::npos) << log;

    EXPECT_FALSE(feed.Start(0));
    EXPECT_EQ(ReadWholeFile(path).compare(0, bytes.size(), bytes), 0) << "a second failure appends";
}

TEST_F(BdaFeedTest, ATunerThatNeverLocksStartsButDeliversNothing) {
    SimTunerDeclaration tuner = Tuner("Sim DVB-T", BdaNetwork::DVBT);
    tuner.lockDelayMs = -1;
    Simulation sim(OneTuner(tuner));
    CBDAFeed feed(0);
    Run(feed);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(feed.GetStatus(), 0);
    EXPECT_EQ(feed.GetSignalLevel(), 0);
    EXPECT_EQ(recorder.Total(), 0u);
    const auto before = std::chrono::steady_clock::now();
    feed.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
}

TEST_F(BdaFeedTest, TuneNeedsAGraphAndRefusesWhatTheBuildersCannotTake) {
    Simulation sim(OneTuner(Tuner("Sim DVB-C", BdaNetwork::DVBC)));
    CBDAFeed feed(0);
    TuningParameters given{};
    given.word[0] = kFeedDvbC;
    given.word[1] = 346000;
    given.word[2] = 6875000;
    given.word[7] = 5;
    EXPECT_FALSE(feed.Tune(&given)) << "no graph";
    Run(feed);
    BdaCallLog::Clear();
    EXPECT_TRUE(feed.Tune(&given));
    EXPECT_EQ(Calls("DVBCLocator.put_Modulation"), std::vector<std::string>{"DVBCLocator.put_Modulation=11"});
    EXPECT_EQ(Calls("DVBCLocator.put_CarrierFrequency"),
              std::vector<std::string>{"DVBCLocator.put_CarrierFrequency=346000"});
    for (uint32_t refused : {0u, 6u}) {
        given.word[7] = refused;
        EXPECT_FALSE(feed.Tune(&given)) << refused;
    }
    given.word[0] = kFeedFile;
    EXPECT_FALSE(feed.Tune(&given));
    EXPECT_FALSE(feed.Tune(nullptr));
}

TEST_F(BdaFeedTest, DescriptorsFillTheRecordBeforeTheDialog) {
    struct Case {
        const char* tuner;
        BdaNetwork network;
        std::vector<uint8_t> descriptor;
        std::vector<std::pair<int, uint32_t>> words;
    };
    const Case cases[] = {
        {"Sim DVB-S", BdaNetwork::DVBS,
         {0x43, 11, 0x01, 0x18, 0x36, 0x00, 0x01, 0x92, 0x81, 0x02, 0x75, 0x00, 0x03},
         {{1, 11836000}, {2, 27500000}, {5, 1}, {6, 0}, {7, 0}}},
        {"Sim DVB-S", BdaNetwork::DVBS,
         {0x43, 11, 0x01, 0x17, 0x00, 0x00, 0x01, 0x92, 0xA6, 0x02, 0x75, 0x00, 0x03},
         {{1, 11700000}, {5, 1}, {6, 1}, {7, 2}}},
        {"Sim DVB-C", BdaNetwork::DVBC,
         {0x44, 11, 0x03, 0x46, 0x00, 0x00, 0xFF, 0xF2, 0x05, 0x00, 0x68, 0x75, 0x03},
         {{1, 346000}, {2, 6875000}, {7, 5}}},
        {"Sim DVB-T", BdaNetwork::DVBT, {0x5A, 11, 0x03, 0x34, 0xEC, 0x40, 0x60}, {{1, 538000}, {8, 3}}},
    };
    RegisterHostResources();
    for (const Case& c : cases) {
        Simulation sim(OneTuner(Tuner(c.tuner, c.network)));
        CBDAFeed feed(0);
        EXPECT_TRUE(feed.SupportsDeliveryDescriptor(c.descriptor.data()));
        ScriptedPresenter p;
        ScopedPresenter s(&p);
        p.Cancel();
        EXPECT_FALSE(feed.ShowConfigDialog(nullptr, nullptr, c.descriptor.data()));
        for (auto [word, value] : c.words) EXPECT_EQ(feed.Record().word[word], value) << c.tuner << " word " << word;
    }
    Simulation sim(OneTuner(Tuner("Sim ATSC", BdaNetwork::ATSC)));
    CBDAFeed atsc(0);
    const uint8_t satellite[13] = {0x43};
    EXPECT_FALSE(atsc.SupportsDeliveryDescriptor(satellite));
    EXPECT_FALSE(atsc.SupportsDeliveryDescriptor(nullptr));
    EXPECT_FALSE(atsc.ShowConfigDialog(nullptr, nullptr, nullptr)) << "no template registered here is shown";
}

}  // namespace
