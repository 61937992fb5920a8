// The feed against the server simulator, inside a network namespace of the test's own:
// discovery, the three delivery modes byte-exact, keep-alive, a server that stops or
// misbehaves, and the notices.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "feeds/RegistrySettings.h"
#include "feeds/satip/SATIPFeed.h"
#include "feeds/satip/SatIpNoticeDialog.h"
#include "feeds/satip/SsdpServiceConflict.h"
#include "host/HostResources.h"
#include "net/NetTrace.h"
#include "platform/service/ServiceManager.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/feeds_satip_session/SatIpSimSupport.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

using namespace satip_feed_test;

constexpr const char* kApplication = "satiptest";

void Quiet(void*, std::string_view) {}

// Collects what the feed delivers.
struct Collector {
    std::mutex lock;
    std::vector<uint8_t> bytes;
    std::atomic<uint64_t> samples{0};

    static void Take(void* context, IMediaSample* sample) {
        auto* self = static_cast<Collector*>(context);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        {
            std::lock_guard guard(self->lock);
            self->bytes.insert(self->bytes.end(), data, data + sample->GetActualDataLength());
        }
        self->samples++;
        sample->Release();
    }
    size_t Size() {
        std::lock_guard guard(lock);
        return bytes.size();
    }
};

class SatIpFeedSession : public ProgramTestDir {
protected:
    static void SetUpTestSuite() {
        ns_ = new SimNamespace("sfs");
        SetNetTraceSink(&Quiet, nullptr);
    }
    static void TearDownTestSuite() {
        delete ns_;
        SetNetTraceSink(nullptr, nullptr);
    }
    void SetUp() override {
        ProgramTestDir::SetUp();
        if (!ns_->Ready()) GTEST_SKIP() << "a network namespace cannot be set up here (needs root)";
        RegisterHostResources();
        // No notice at start unless a test asks for it.
        SatIpSettings s;
        s.NoPIDAllWarning = 1;
        SaveSatIpSettings(kApplication, s);
    }
    void TearDown() override {
        if (feed_) ns_->Ns().Run([&] { feed_.reset(); });
        ProgramTestDir::TearDown();
    }

    // The feed, created in the namespace, with the first discovered server chosen.
    bool CreateAndChoose(uint32_t mode) {
        ns_->Ns().Run([&] { feed_ = std::make_unique<CSATIPFeed>(kApplication); });
        std::vector<SatIpServer> servers;
        if (!WaitUntil([&] { return feed_->Discovery().Servers().Snapshot(servers) && !servers.empty(); }, 10s)) {
            ADD_FAILURE() << "no server discovered; the simulator said: " << ReadWholeFile(File("sim.err"));
            return false;
        }
        SatIpSettings s = feed_->Settings();
        s.serverHash = servers.front().key;
        s.serverAddress = servers.front().address;
        s.deliveryMode = mode;
        feed_->SetSettings(s);
        return true;
    }
    bool Start() {
        feed_->SetCallback(&collector_, &Collector::Take);
        bool started = false;
        ns_->Ns().Run([&] { started = feed_->Start(0); });
        return started;
    }
    void StopPromptly() {
        const auto before = std::chrono::steady_clock::now();
        feed_->Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
        EXPECT_FALSE(feed_->Running());
    }
    // Polls the status for a while as the filter would; true when it stayed in sync.
    bool PollFor(std::chrono::milliseconds span) {
        bool inSync = true;
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(100ms);
            if (collector_.samples > 0 && feed_->GetStatus() != CSATIPFeed::kStatusInSync) inSync = false;
        }
        return inSync;
    }

    static inline SimNamespace* ns_ = nullptr;
    ScopedRegistryHome home_;
    ScriptedPresenter presenter_;
    ScopedPresenter scope_{&presenter_};
    Collector collector_;
    std::unique_ptr<CSATIPFeed> feed_;
};

TEST_F(SatIpFeedSession, EachDeliveryModeHandsOnTheServersStreamByteExact) {
    struct Case {
        uint32_t mode;
        const char* args;
    } cases[] = {
        {kSatIpDeliveryHttp, ""},
        {kSatIpDeliveryHttp, "--http-chunked"},
        {kSatIpDeliveryRtspUnicast, "--session-timeout 5"},
        {kSatIpDeliveryRtspMulticast, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + c.args);
        Sim sim(*ns_, dir_.string(), c.args);
        ASSERT_TRUE(sim.Ready()) << ReadWholeFile(File("sim.err"));
        collector_.bytes.clear();
        collector_.samples = 0;
        ASSERT_TRUE(CreateAndChoose(c.mode));
        ASSERT_TRUE(Start()) << feed_->GetErrorText();
        EXPECT_EQ(feed_->ActiveMode(), c.mode);
        // The unicast session outlives the server's 5-second time-out only by keep-alives.
        const bool rtsp = c.mode != kSatIpDeliveryHttp;
        EXPECT_TRUE(PollFor(rtsp ? 6500ms : 2500ms));
        const size_t before = collector_.Size();
        EXPECT_TRUE(WaitUntil([&] { return collector_.Size() > before; }, 1s)) << "the stream stopped";
        if (rtsp) {
            SatIpTunerReport report;
            EXPECT_TRUE(feed_->TunerReport(report));
            EXPECT_EQ(report.lock, 1);
            EXPECT_EQ(report.level, 224);
            EXPECT_EQ(report.quality, 15);
        }
        if (c.mode == kSatIpDeliveryRtspUnicast) {
            EXPECT_EQ(feed_->SessionTimeout(), 5);
            EXPECT_GE(feed_->KeepAlivesSent(), 2u);
        }
        StopPromptly();
        const std::vector<uint8_t> reference = SimReference(collector_.bytes.size());
        // 8 Mbit/s for two seconds and more.
        EXPECT_GT(collector_.bytes.size(), 2'000'000u);
        EXPECT_TRUE(collector_.bytes == reference);
        EXPECT_EQ(feed_->RtpLost(), 0u);
        ns_->Ns().Run([&] { feed_.reset(); });
    }
}

TEST_F(SatIpFeedSession, AServerThatStopsSendingDropsTheStatusAndStopStaysPrompt) {
    Sim sim(*ns_, dir_.string(), "");
    ASSERT_TRUE(sim.Ready()) << ReadWholeFile(File("sim.err"));
    ASSERT_TRUE(CreateAndChoose(kSatIpDeliveryRtspUnicast));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil([&] { return feed_->GetStatus() == CSATIPFeed::kStatusInSync; }, 3s));
    EXPECT_EQ(sim.Control("data off"), "ok\n");
    // Five seconds without data end the in-sync status.
    EXPECT_TRUE(WaitUntil([&] { return feed_->GetStatus() == 0; }, 7s));
    EXPECT_TRUE(feed_->NoData());
    StopPromptly();
}

TEST_F(SatIpFeedSession, AnHttpServerThatDiesEndsTheSource) {
    Sim sim(*ns_, dir_.string(), "");
    ASSERT_TRUE(sim.Ready()) << ReadWholeFile(File("sim.err"));
    ASSERT_TRUE(CreateAndChoose(kSatIpDeliveryHttp));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil([&] { return collector_.samples > 10; }, 3s));
    sim.Process().Signal(SIGKILL);
    EXPECT_TRUE(WaitUntil([&] { return feed_->SourceEnded(); }, 3s));
    StopPromptly();
}

TEST_F(SatIpFeedSession, BadRtspRepliesFailTheStartCleanly) {
    struct Case {
        const char* args;
        SatIpFailure failure;
        std::chrono::milliseconds within;
    } cases[] = {
        // "RTSP/1.0 2x0": the number read is 2, which is no success.
        {"--malformed bad-status", SatIpFailure::RtspRefused, 1500ms},
        {"--malformed garbage", SatIpFailure::RtspNoResponse, 4000ms},
        {"--malformed huge-header", SatIpFailure::RtspNoResponse, 4000ms},
        {"--malformed close", SatIpFailure::RtspNoResponse, 1500ms},
        {"--malformed silent", SatIpFailure::RtspNoResponse, 4000ms},
        {"--reply-delay-ms 3500", SatIpFailure::RtspNoResponse, 4000ms},
        {"--malformed garbage --malformed-methods PLAY", SatIpFailure::RtspNoResponse, 4000ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Sim sim(*ns_, dir_.string(), c.args);
        ASSERT_TRUE(sim.Ready()) << ReadWholeFile(File("sim.err"));
        ASSERT_TRUE(CreateAndChoose(kSatIpDeliveryRtspUnicast));
        const auto before = std::chrono::steady_clock::now();
        EXPECT_FALSE(Start());
        EXPECT_LT(std::chrono::steady_clock::now() - before, c.within);
        EXPECT_EQ(feed_->LastFailure(), c.failure);
        EXPECT_STREQ(feed_->GetErrorText(), "RTP unicast connection to SAT>IP server failed !\n");
        EXPECT_FALSE(feed_->Running());
        ns_->Ns().Run([&] { feed_.reset(); });
    }
}

TEST_F(SatIpFeedSession, AServersByeByeTakesItOffTheList) {
    Sim sim(*ns_, dir_.string(), "");
    ASSERT_TRUE(sim.Ready()) << ReadWholeFile(File("sim.err"));
    ASSERT_TRUE(CreateAndChoose(kSatIpDeliveryRtspUnicast));
    EXPECT_EQ(feed_->GetType(), kFeedDvbS2);
    sim.Process().Signal(SIGTERM);
    std::vector<SatIpServer> servers;
    EXPECT_TRUE(WaitUntil([&] { return feed_->Discovery().Servers().Snapshot(servers) && servers.empty(); }, 5s));
    EXPECT_FALSE(Start());
    EXPECT_STREQ(feed_->GetErrorText(), "No SAT>IP server selected\n");
}

TEST_F(SatIpFeedSession, ThePidAllNoticeCanBeTurnedOffForGood) {
    SatIpSettings s;
    SaveSatIpSettings(kApplication, s);
    ns_->Ns().Run([&] { feed_ = std::make_unique<CSATIPFeed>(kApplication); });
    presenter_.Ok();
    EXPECT_FALSE(Start());
    EXPECT_STREQ(feed_->GetErrorText(), "No SAT>IP server selected\n");
    presenter_.Check(CSatIpNoticeDialog::kDontAskAgain).Ok();
    EXPECT_FALSE(Start());
    EXPECT_FALSE(Start());
    ASSERT_EQ(presenter_.Dialogs().size(), 2u);
    EXPECT_EQ(presenter_.Dialogs()[0].name, "ALLPIDWARNDLG");
    EXPECT_EQ(presenter_.Dialogs()[0].result, 0);
    EXPECT_EQ(presenter_.Dialogs()[1].result, 1);
    SatIpSettings stored;
    LoadSatIpSettings(kApplication, stored);
    EXPECT_EQ(stored.NoPIDAllWarning, 1);
}

TEST_F(SatIpFeedSession, TheSystemsSsdpServicesAreStoppedWithConsent) {
    ServiceManager& services = ServiceManager::Instance();
    struct Case {
        bool tick;
        bool refuse;
        uint8_t storedAlways;
        size_t messages;
    } cases[] = {{false, false, 0, 0}, {true, false, 1, 0}, {false, true, 0, 1}};
    for (const Case& c : cases) {
        ScriptedPresenter presenter;
        ScopedPresenter scope(&presenter);
        services.Reload();
        services.Declare("upnphost", {ServiceState::Running, 100, 2000, false});
        services.Declare("SSDPSRV", {ServiceState::Running, 0, 2000, c.refuse});
        SatIpSettings s;
        s.NoPIDAllWarning = 1;
        SaveSatIpSettings(kApplication, s);
        if (c.tick) presenter.Check(CSatIpNoticeDialog::kDontAskAgain);
        presenter.Ok();
        ns_->Ns().Run([&] { feed_ = std::make_unique<CSATIPFeed>(kApplication); });
        ASSERT_EQ(presenter.Dialogs().size(), 1u);
        EXPECT_EQ(presenter.Dialogs()[0].name, "SSDPSTOPDLG");
        ServiceStatus status;
        ASSERT_TRUE(services.Query("upnphost", status));
        EXPECT_EQ(status.state, ServiceState::Stopped);
        ASSERT_TRUE(services.Query("SSDPSRV", status));
        EXPECT_EQ(status.state, c.refuse ? ServiceState::Running : ServiceState::Stopped);
        ASSERT_EQ(presenter.MessageBoxes().size(), c.messages);
        if (c.messages) {
            EXPECT_EQ(presenter.MessageBoxes()[0].text, "Failed to stop Windows SSDP service.");
            EXPECT_EQ(presenter.MessageBoxes()[0].caption, "SSDP client conflict");
            EXPECT_EQ(presenter.MessageBoxes()[0].Icon(), static_cast<UINT>(MB_ICONEXCLAMATION));
        }
        SatIpSettings stored;
        LoadSatIpSettings(kApplication, stored);
        EXPECT_EQ(stored.AlwaysStopSSDP, c.storedAlways);
        ns_->Ns().Run([&] { feed_.reset(); });
    }
    services.Reload();
}

TEST_F(SatIpFeedSession, CancellingTheSheetKeepsTheFeedType) {
    ns_->Ns().Run([&] { feed_ = std::make_unique<CSATIPFeed>(kApplication); });
    SatIpSettings s = feed_->Settings();
    s.manualSelect = 1;
    s.manualAddress = MakeIPv4Address(0x0AE70001, 0);
    feed_->SetSettings(s);
    presenter_.SelectPage(2).Cancel();
    EXPECT_FALSE(feed_->ShowConfigDialog(nullptr, nullptr, nullptr));
    EXPECT_EQ(feed_->Settings().feedType, static_cast<uint32_t>(kSatIpSatellite));
    presenter_.SelectPage(2).Ok();
    EXPECT_TRUE(feed_->ShowConfigDialog(nullptr, nullptr, nullptr));
    EXPECT_EQ(feed_->Settings().feedType, static_cast<uint32_t>(kSatIpCable));
    EXPECT_EQ(feed_->Target().query, "?freq=410.00&msys=dvbc&mtype=256qam&sr=6900&specinv=0&pids=all");
}

}  // namespace
