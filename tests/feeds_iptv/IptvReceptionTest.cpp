// Real reception over loopback unicast: byte layout of the samples, RTP handling, the
// status rules, start failures and the life cycle of the threads.
#include <gtest/gtest.h>

#include <atomic>

#include "feeds/iptv/IPTVFeed.h"
#include "net/Sockets.h"
#include "platform/system/Tick.h"
#include "tests/feeds_iptv/IptvTestSupport.h"

namespace {

using namespace iptvtest;

bool IsLocalIPv4(const NetAddress& a) {
    std::vector<NetAddress> local;
    EXPECT_TRUE(LocalIPv4AddressList(local));
    for (const NetAddress& l : local) {
        if (NetAddressIPv4(l) == NetAddressIPv4(a)) return true;
    }
    return false;
}

const uint8_t kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

class Loopback : public ::testing::Test {
protected:
    void StartOn(const NetAddress& group) {
        feed_.SetGroup(group);
        feed_.SetCallback(&got_, Recorder::Callback);
        ASSERT_TRUE(feed_.Start(0)) << feed_.GetErrorText();
        to_ = group;
    }
    void StartIPv4() { StartOn(MakeIPv4Address(INADDR_LOOPBACK, FreeUdpPort())); }
    void Send(const Bytes& d) { ASSERT_EQ(static_cast<int>(d.size()), sender_.Send(to_, d)); }

    Recorder got_;  // outlives the feed's threads
    CIPTVFeed feed_{0};
    Sender sender_{kNetFamilyIPv4};
    NetAddress to_;
};

TEST_F(Loopback, EachDatagramOfAPacketOrMoreIsOneSampleByteExact) {
    StartIPv4();
    const std::vector<Bytes> sent = {Packets(7, 1), Packets(1, 2), Packets(3, 3)};
    for (const Bytes& d : sent) Send(d);
    ASSERT_TRUE(got_.WaitForSamples(3));
    EXPECT_EQ(sent, got_.Samples());
    EXPECT_EQ(3u, feed_.DatagramsReceived());
    EXPECT_NE(0u, feed_.GetLastDataTime());
    EXPECT_TRUE(Eventually([&] { return feed_.GetStatus() == 0xFF; }));
}

TEST_F(Loopback, SmallDatagramsAreGatheredUntilAPacketsWorth) {
    StartIPv4();
    const Bytes all = Packets(5, 9);
    for (size_t at = 0; at < 800; at += 100) Send(Bytes(all.begin() + at, all.begin() + at + 100));
    ASSERT_TRUE(got_.WaitForSamples(4));
    for (const Bytes& s : got_.Samples()) EXPECT_EQ(200u, s.size());
    EXPECT_EQ(Bytes(all.begin(), all.begin() + 800), got_.Joined());
}

TEST(IptvReception, IPv6UnicastOnLoopback) {
    Recorder got;
    CIPTVFeed feed(0);
    const NetAddress group = MakeIPv6Address(kLoopback6, FreeUdpPort(kNetFamilyIPv6));
    feed.SetGroup(group);
    feed.SetCallback(&got, Recorder::Callback);
    ASSERT_TRUE(feed.Start(0)) << feed.GetErrorText();
    Sender sender(kNetFamilyIPv6);
    const Bytes sent = Packets(7, 4);
    ASSERT_EQ(1316, sender.Send(group, sent));
    ASSERT_TRUE(got.WaitForSamples(1));
    EXPECT_EQ(std::vector<Bytes>{sent}, got.Samples());
}

TEST_F(Loopback, RtpDuplicatesAreDroppedAndGapsCounted) {
    StartIPv4();
    const Bytes a = Packets(1, 1), b = Packets(1, 2), c = Packets(1, 3), d = Packets(1, 4), e = Packets(1, 5);
    Send(Rtp(65533, a));
    Send(Rtp(65533, a));  // repeated
    Send(Rtp(65534, b));
    Send(Rtp(1, c));  // 65535 and 0 missing across the wrap
    Send(Rtp(0, d));  // late: a step back, no loss
    Send(Rtp(1, e));
    ASSERT_TRUE(got_.WaitForSamples(5));
    EXPECT_EQ((std::vector<Bytes>{a, b, c, d, e}), got_.Samples());
    EXPECT_EQ(2u, feed_.RtpLostPackets());
    EXPECT_EQ(6u, feed_.DatagramsReceived());
}

TEST_F(Loopback, AutoModeUnwrapsOnlyTransportStreamRtp) {
    StartIPv4();
    const Bytes plain = Packets(2, 7);
    const Bytes otherType = Rtp(5, Packets(1, 8), 96);
    Send(plain);
    Send(Rtp(4, Packets(1, 9)));
    Send(otherType);
    ASSERT_TRUE(got_.WaitForSamples(3));
    EXPECT_EQ((std::vector<Bytes>{plain, Packets(1, 9), otherType}), got_.Samples());
}

TEST_F(Loopback, RtpAndRawModesAsTheHostChooses) {
    feed_.SetRtpMode(RtpMode::Rtp);
    StartIPv4();
    Send(Packets(2, 1));  // not RTP: dropped
    Send(Rtp(1, Packets(1, 2), 96));
    ASSERT_TRUE(got_.WaitForSamples(1));

    feed_.Stop();
    feed_.SetRtpMode(RtpMode::Raw);
    ASSERT_TRUE(feed_.Start(0));
    Send(Rtp(2, Packets(1, 3)));
    ASSERT_TRUE(got_.WaitForSamples(2));
    EXPECT_EQ((std::vector<Bytes>{Packets(1, 2), Rtp(2, Packets(1, 3))}), got_.Samples());
}

TEST_F(Loopback, DatagramLargerThanTheSamplesRoomIsCut) {
    feed_.SetSampleSize(1024);
    StartIPv4();
    const Bytes big = Packets(7, 5);
    Send(big);
    Send(Packets(1, 6));
    ASSERT_TRUE(got_.WaitForSamples(2));
    EXPECT_EQ((std::vector<Bytes>{Bytes(big.begin(), big.begin() + 1024), Packets(1, 6)}), got_.Samples());
    EXPECT_EQ(292u, feed_.BytesDropped());
}

TEST_F(Loopback, SlowConsumerLosesNothingWhileTheRingGoesRound) {
    got_.delay = 3ms;
    StartIPv4();
    Bytes sent;
    for (int i = 0; i < 60; ++i) {
        const Bytes d = Packets(7, static_cast<uint8_t>(i));
        Send(d);
        sent.insert(sent.end(), d.begin(), d.end());
    }
    ASSERT_TRUE(got_.WaitForSamples(60));
    EXPECT_EQ(sent, got_.Joined());
}

TEST_F(Loopback, StatusNeedsWholePackets) {
    EXPECT_EQ(0x0F, feed_.GetStatus());  // nothing received yet
    StartIPv4();
    Send(Bytes(376, 0x11));
    ASSERT_TRUE(got_.WaitForSamples(1));
    EXPECT_EQ(0x0F, feed_.GetStatus());
    Send(Packets(2, 1));
    ASSERT_TRUE(got_.WaitForSamples(2));
    EXPECT_TRUE(Eventually([&] { return feed_.GetStatus() == 0xFF; }));
}

TEST_F(Loopback, StatusDropsAfterFiveSecondsWithoutDataAndRecovers) {
    StartIPv4();
    Send(Packets(7, 1));
    ASSERT_TRUE(got_.WaitForSamples(1));
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(Eventually([&] { return feed_.GetStatus() == 0xFF; }));
    ASSERT_TRUE(Eventually([&] { return feed_.GetStatus() == 0x0F; }, 8s));
    const auto quiet = std::chrono::steady_clock::now() - sent;
    EXPECT_GE(quiet, 4900ms);
    EXPECT_LT(quiet, 7s);

    Send(Packets(7, 2));
    ASSERT_TRUE(got_.WaitForSamples(2));
    EXPECT_TRUE(Eventually([&] { return feed_.GetStatus() == 0xFF; }, 1s));
}

TEST_F(Loopback, TickCountWrapCountsAsNoData) {
    struct TickOffset {
        // The count wraps about a second from now.
        TickOffset() { SetTickCountOffsetForTesting(0xFFFFFFFFu - 1000u - GetTickCount()); }
        ~TickOffset() { SetTickCountOffsetForTesting(0); }
    };
    SetTickCountOffsetForTesting(0);
    {
        const TickOffset nearWrap;
        StartIPv4();
        Send(Packets(7, 1));
        ASSERT_TRUE(got_.WaitForSamples(1));
        EXPECT_TRUE(Eventually([&] { return feed_.GetStatus() == 0xFF; }, 500ms));
        // Well before five seconds: the count went below the last hand-over.
        EXPECT_TRUE(Eventually([&] { return feed_.GetStatus() == 0x0F; }, 3s));
        EXPECT_LT(GetTickCount(), 10000u);
        feed_.Stop();
        ASSERT_TRUE(Eventually([&] { return !feed_.Receiving(); }));
    }
}

TEST(IptvStart, UnicastThatIsNotLocalFailsWithTheHint) {
    CIPTVFeed feed(0);
    const NetAddress remote = MakeIPv4Address(0xC6336407, 5000);  // 198.51.100.7
    ASSERT_FALSE(IsLocalIPv4(remote));
    feed.SetGroup(remote);
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(
        "You entered a unicast IP Address (198.51.100.7). In this case, you have to enter a local IP-address (and port "
        "number) of this PC and not the address of the sending device/PC.\n",
        feed.GetErrorText());
    EXPECT_FALSE(feed.Receiving());
}

TEST(IptvStart, BindFailureNamesTheAddressAndTheError) {
    // Held without address reuse, so the feed's bind is refused.
    const SocketHandle holder = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
    const NetAddress taken = MakeIPv4Address(INADDR_LOOPBACK, FreeUdpPort());
    ASSERT_EQ(0, SocketBind(holder, taken));
    CIPTVFeed feed(0);
    feed.SetGroup(taken);
    EXPECT_FALSE(feed.Start(0));
    const std::string expected = "The operation bind(127.0.0.1:" + std::to_string(NetAddressPort(taken)) +
                                 ")\r\n failed with the error code 10048 - WSAEADDRINUSE - Address already in use.";
    EXPECT_EQ(expected, feed.GetErrorText());
    SocketClose(holder);

    // A later start that works clears the text.
    ASSERT_TRUE(feed.Start(0));
    EXPECT_EQ(nullptr, feed.GetErrorText());
}

TEST(IptvStart, AddressOfNoFamilyFailsAtSocketCreation) {
    CIPTVFeed feed(0);
    feed.SetGroup(NetAddress{});
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(
        "The operation socket() failed with the error code 10047 - WSAEAFNOSUPPORT - Address family not supported "
        "by protocol family.",
        feed.GetErrorText());
}

TEST(IptvStart, HistoryKeepsTenMostRecentDistinctSettings) {
    CIPTVFeed feed(0);
    const auto at = [](uint32_t host) { return MakeIPv4Address(0xC6336400 + host, 5000); };
    for (uint32_t i = 1; i <= 11; ++i) ASSERT_FALSE(IsLocalIPv4(at(i)));
    // Not local: each start fails after recording its settings, and opens nothing.
    for (uint32_t i = 1; i <= 3; ++i) {
        feed.SetGroup(at(i));
        EXPECT_FALSE(feed.Start(0));
    }
    feed.SetGroup(at(1));
    EXPECT_FALSE(feed.Start(0));  // known: the order stays
    CIPTVFeed::History h = feed.GetHistory();
    EXPECT_EQ(at(3), h[0].group);
    EXPECT_EQ(at(2), h[1].group);
    EXPECT_EQ(at(1), h[2].group);
    EXPECT_EQ(IptvSettings{}, h[3]);

    for (uint32_t i = 4; i <= 11; ++i) {
        feed.SetGroup(at(i));
        EXPECT_FALSE(feed.Start(0));
    }
    h = feed.GetHistory();
    EXPECT_EQ(at(11), h[0].group);
    EXPECT_EQ(at(2), h[9].group);  // the oldest, 1, is gone
    IptvSettings ssm = feed.Settings();
    ssm.ssm = 1;
    feed.SetSettings(ssm);
    EXPECT_FALSE(feed.Start(0));
    EXPECT_EQ(ssm, feed.GetHistory()[0]);  // differs only in the ssm byte: a new entry
}

TEST(IptvFeed, FixedAnswersOfTheFeed) {
    CIPTVFeed feed(0);
    EXPECT_EQ(6, feed.GetType());
    EXPECT_EQ(0x20u, feed.GetCapabilities());
    EXPECT_STREQ("IPTV Feed", feed.GetName());
    EXPECT_STREQ("IPTV Feed", feed.GetDescription());
    EXPECT_STREQ("TCP/IP Network / IPTV", feed.GetDetails());
    EXPECT_EQ(188, feed.GetPacketSize());
    EXPECT_TRUE(feed.Tune(nullptr));
    const uint8_t satellite[] = {0x43, 11};
    EXPECT_FALSE(feed.SupportsDeliveryDescriptor(satellite));
    EXPECT_EQ(65535, feed.GetSignalLevel());
    EXPECT_EQ(0u, feed.GetReceptionValue());
    const IptvSettings s = feed.Settings();
    EXPECT_EQ(MakeIPv4Address(0, 1234), s.group);
    EXPECT_EQ(0, s.ssm);
}

TEST_F(Loopback, StopEndsDeliveryAndAStartResumes) {
    StartIPv4();
    Send(Packets(1, 1));
    ASSERT_TRUE(got_.WaitForSamples(1));
    feed_.Stop();
    ASSERT_TRUE(Eventually([&] { return !feed_.Receiving(); }));
    sender_.Send(to_, Packets(1, 2));  // nobody listens any more
    EXPECT_EQ(0x0F, feed_.GetStatus());

    ASSERT_TRUE(feed_.Start(0));  // same port again
    Send(Packets(1, 3));
    ASSERT_TRUE(got_.WaitForSamples(2));
    EXPECT_EQ((std::vector<Bytes>{Packets(1, 1), Packets(1, 3)}), got_.Samples());
}

TEST_F(Loopback, StartWhileReceivingRestartsOnTheNewSettings) {
    StartIPv4();
    const NetAddress second = MakeIPv4Address(INADDR_LOOPBACK, FreeUdpPort());
    feed_.SetGroup(second);
    ASSERT_TRUE(feed_.Start(0));
    ASSERT_EQ(188, sender_.Send(second, Packets(1, 4)));
    ASSERT_TRUE(got_.WaitForSamples(1));
    EXPECT_EQ(Packets(1, 4), got_.Samples()[0]);
}

TEST_F(Loopback, StopFromTheDataCallbackDoesNotHang) {
    got_.onSample = [this] { feed_.Stop(); };
    StartIPv4();
    Send(Packets(1, 1));
    ASSERT_TRUE(got_.WaitForSamples(1));
    EXPECT_TRUE(Eventually([&] { return !feed_.Receiving(); }));
}

TEST_F(Loopback, WithoutACallbackSamplesGoBackUntilOneIsSet) {
    StartIPv4();
    feed_.SetCallback(nullptr, nullptr);
    Send(Packets(1, 1));
    ASSERT_TRUE(Eventually([&] { return feed_.DatagramsReceived() == 1; }));
    feed_.SetCallback(&got_, Recorder::Callback);
    Send(Packets(1, 2));
    ASSERT_TRUE(got_.WaitForSamples(1));
    EXPECT_EQ(std::vector<Bytes>{Packets(1, 2)}, got_.Samples());
}

TEST(IptvFeed, DestroyedWhileReceivingUnderLoad) {
    Sender sender(kNetFamilyIPv4);
    const NetAddress group = MakeIPv4Address(INADDR_LOOPBACK, FreeUdpPort());
    Recorder got;
    auto* feed = new CIPTVFeed(0);
    feed->SetGroup(group);
    feed->SetCallback(&got, Recorder::Callback);
    ASSERT_TRUE(feed->Start(0));
    std::atomic<bool> sending{true};
    std::thread flood([&] {
        while (sending) sender.Send(group, Packets(7, 1));
    });
    ASSERT_TRUE(got.WaitForSamples(20));
    feed->Destroy();
    sending = false;
    flood.join();
}

}  // namespace
