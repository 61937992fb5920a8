// Real reception over loopback unicast: byte layout of the samples, RTP handling, the
// status rules, start failures and the life cycle of the threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "feeds/iptv/IPTVFeed.h"
#include "platform/system/Tick.h"
#include "tests/feeds_iptv/IptvTestSupport.h"

namespace {

using namespace iptvtest;

class Loopback : public ::testing::Test {
protected:
    void Start(int family = kNetFamilyIPv4) {
        sender_ = std::make_unique<Sender>(family);
        feed_.SetGroup(nettest::Loopback(family, 0));
        feed_.SetCallback(&got_, Recorder::Callback);
        ASSERT_TRUE(feed_.Start(0)) << feed_.GetErrorText();
        to_ = nettest::Loopback(family, feed_.LocalPort());
        ASSERT_NE(0, NetAddressPort(to_));
        feed_.SetGroup(to_);  // a restart binds the same port again
    }
    void Send(const Bytes& d) { ASSERT_EQ(static_cast<int>(d.size()), sender_->Send(to_, d)); }
    bool Stopped() { return WaitUntil([&] { return !feed_.Receiving(); }); }

    Recorder got_;  // outlives the feed's threads
    CIPTVFeed feed_{0};
    std::unique_ptr<Sender> sender_;
    NetAddress to_;
};

TEST_F(Loopback, DatagramsBecomeSamplesByteExactGatheredToAPacketsWorth) {
    Start();
    const Bytes small = Packets(2, 3);  // two datagrams of 100 bytes: one sample of 200
    const std::vector<Bytes> sent = {Packets(7, 1), Packets(1, 2), Bytes(small.begin(), small.begin() + 100),
                                     Bytes(small.begin() + 100, small.begin() + 200)};
    for (const Bytes& d : sent) Send(d);
    ASSERT_TRUE(got_.WaitForBytes(8 * 188 + 200));
    EXPECT_EQ(Recorder::Join(sent), got_.Joined());
    // The short datagram waits for the next one: no sample holds less than a packet.
    for (const Bytes& sample : got_.Samples()) EXPECT_GE(sample.size(), 188u);
    EXPECT_EQ(4u, feed_.DatagramsReceived());
    EXPECT_NE(0u, feed_.GetLastDataTime());
}

TEST_F(Loopback, EmptyDatagramGivesAnEmptySample) {
    Start();
    Send(Packets(1, 1));
    Send({});
    Send(Packets(1, 2));
    ASSERT_TRUE(got_.WaitForSamples(3));
    EXPECT_EQ((std::vector<Bytes>{Packets(1, 1), Bytes{}, Packets(1, 2)}), got_.Samples());
}

TEST_F(Loopback, RtpOverIPv6DropsRepeatsCountsGapsAndUnwrapsOnlyTransportStream) {
    Start(kNetFamilyIPv6);
    const Bytes a = Packets(1, 1), b = Packets(1, 2), c = Packets(1, 3), d = Packets(1, 4);
    const Bytes otherType = Rtp(9, Packets(1, 5), 0x80, 96);
    Send(Rtp(65534, a));
    Send(Rtp(65534, a));  // repeated
    Send(Rtp(1, b));      // 65535 and 0 missing across the wrap
    Send(Rtp(0, c));      // late: a step back, no loss
    Send(Rtp(1, d));
    Send(Packets(2, 6));  // plain and other payload types are taken whole
    Send(otherType);
    const Bytes expected = Recorder::Join({a, b, c, d, Packets(2, 6), otherType});
    ASSERT_TRUE(got_.WaitForBytes(expected.size()));
    EXPECT_EQ(expected, got_.Joined());
    EXPECT_EQ(2u, feed_.RtpLostPackets());

    feed_.SetRtpMode(RtpMode::Raw);  // the host may take every datagram whole
    ASSERT_TRUE(feed_.Start(0));
    const Bytes whole = Rtp(2, Packets(1, 7));
    Send(whole);
    ASSERT_TRUE(got_.WaitForBytes(expected.size() + whole.size()));
    EXPECT_EQ(whole, got_.Samples().back());
}

TEST_F(Loopback, DatagramLargerThanTheSamplesRoomIsCut) {
    feed_.SetSampleSize(1024);
    Start();
    const Bytes big = Packets(7, 5);
    Send(big);
    Send(Packets(1, 6));
    ASSERT_TRUE(got_.WaitForSamples(2));
    EXPECT_EQ((std::vector<Bytes>{Bytes(big.begin(), big.begin() + 1024), Packets(1, 6)}), got_.Samples());
    EXPECT_EQ(1316u - 1024u, feed_.BytesDropped());
}

TEST_F(Loopback, SlowConsumerLosesNothingWhileTheRingGoesRound) {
    got_.delayMs = 3;
    Start();
    std::vector<Bytes> sent;
    for (int i = 0; i < 60; ++i) {
        sent.push_back(Packets(7, static_cast<uint8_t>(i)));
        Send(sent.back());
    }
    ASSERT_TRUE(got_.WaitForBytes(60 * 1316));
    EXPECT_EQ(Recorder::Join(sent), got_.Joined());
}

TEST_F(Loopback, StatusNeedsPacketsAndDropsAfterFiveQuietSecondsOrAtTheTickCountWrap) {
    EXPECT_EQ(0x0F, feed_.GetStatus());
    Start();
    Send(Bytes(376, 0x11));
    ASSERT_TRUE(got_.WaitForSamples(1));
    EXPECT_EQ(0x0F, feed_.GetStatus());  // data, but no packets
    Send(Packets(7, 1));
    ASSERT_TRUE(got_.WaitForSamples(2));
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return feed_.GetStatus() == 0xFF; }));
    ASSERT_TRUE(WaitUntil([&] { return feed_.GetStatus() == 0x0F; }, 8s));
    const auto quiet = std::chrono::steady_clock::now() - sent;
    EXPECT_GE(quiet, 4900ms);
    EXPECT_LT(quiet, 7s);
    Send(Packets(7, 2));
    EXPECT_TRUE(WaitUntil([&] { return feed_.GetStatus() == 0xFF; }, 1s));

    struct NearWrap {  // the count wraps two seconds from now
        NearWrap() { SetTickCountOffsetForTesting(0xFFFFFFFFu - 2000u - GetTickCount()); }
        ~NearWrap() { SetTickCountOffsetForTesting(0); }
    };
    const NearWrap nearWrap;
    ASSERT_TRUE(WaitUntil([&] { return feed_.GetStatus() == 0x0F; }, 1s));  // the jump itself is quiet time
    Send(Packets(7, 3));
    ASSERT_TRUE(WaitUntil([&] { return feed_.GetStatus() == 0xFF; }, 1s));
    // Long before five quiet seconds: the count went below the last hand-over.
    EXPECT_TRUE(WaitUntil([&] { return feed_.GetStatus() == 0x0F; }, 4s));
    EXPECT_LT(GetTickCount(), 10000u);
    feed_.Stop();
    ASSERT_TRUE(Stopped());
}

TEST_F(Loopback, StopEndsDeliveryStartRestartsAndTheCallbackMayStop) {
    Start();
    Send(Packets(1, 1));
    ASSERT_TRUE(got_.WaitForSamples(1));
    feed_.Stop();
    ASSERT_TRUE(Stopped());
    sender_->Send(to_, Packets(1, 2));  // nobody listens any more
    ASSERT_TRUE(feed_.Start(0));       // the same port again
    Send(Packets(1, 3));
    ASSERT_TRUE(got_.WaitForSamples(2));

    feed_.SetGroup(nettest::Loopback(kNetFamilyIPv4, 0));
    ASSERT_TRUE(feed_.Start(0));  // while receiving
    const NetAddress second = nettest::Loopback(kNetFamilyIPv4, feed_.LocalPort());
    feed_.SetGroup(second);
    ASSERT_EQ(188, sender_->Send(second, Packets(1, 4)));
    ASSERT_TRUE(got_.WaitForSamples(3));
    EXPECT_EQ((std::vector<Bytes>{Packets(1, 1), Packets(1, 3), Packets(1, 4)}), got_.Samples());

    feed_.Stop();
    ASSERT_TRUE(Stopped());
    got_.onSample = [this] { feed_.Stop(); };  // no delivery thread runs while it is set
    ASSERT_TRUE(feed_.Start(0));
    ASSERT_EQ(188, sender_->Send(second, Packets(1, 5)));
    ASSERT_TRUE(got_.WaitForSamples(4));
    EXPECT_TRUE(Stopped());
}

TEST_F(Loopback, WithoutACallbackSamplesGoBackUntilOneIsSet) {
    Start();
    feed_.SetCallback(nullptr, nullptr);
    Send(Packets(1, 1));
    Send(Packets(1, 2));
    // The second datagram is only read once the first one's sample has gone back.
    ASSERT_TRUE(WaitUntil([&] { return feed_.DatagramsReceived() == 2; }));
    feed_.SetCallback(&got_, Recorder::Callback);
    Send(Packets(1, 3));
    ASSERT_TRUE(WaitUntil([&] { return !got_.Samples().empty() && got_.Samples().back() == Packets(1, 3); }));
    const std::vector<Bytes> samples = got_.Samples();
    EXPECT_EQ(samples.end(), std::find(samples.begin(), samples.end(), Packets(1, 1)));
}

TEST(IptvStart, FailuresSayWhatFailedAndWhy) {
    CIPTVFeed feed(0);
    feed.SetGroup(MakeIPv4Address(0xC6336407, 5000));  // 198.51.100.7, not of this computer
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(
        "You entered a unicast IP Address (198.51.100.7). In this case, you have to enter a local IP-address (and port "
        "number) of this PC and not the address of the sending device/PC.\n",
        feed.GetErrorText());

    feed.SetGroup(NetAddress{});
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(
        "The operation socket() failed with the error code 10047 - WSAEAFNOSUPPORT - Address family not supported "
        "by protocol family.",
        feed.GetErrorText());

    NetAddress taken;
    {
        Sender holder(kNetFamilyIPv4);  // no address reuse: the bind is refused
        ASSERT_TRUE(holder.BindTo(nettest::Loopback(kNetFamilyIPv4, 0)));
        taken = nettest::Loopback(kNetFamilyIPv4, holder.LocalPort());
        feed.SetGroup(taken);
        EXPECT_FALSE(feed.Start(0));
        EXPECT_EQ("The operation bind(127.0.0.1:" + std::to_string(NetAddressPort(taken)) +
                      ")\r\n failed with the error code 10048 - WSAEADDRINUSE - Address already in use.",
                  feed.GetErrorText());
    }
    ASSERT_TRUE(feed.Start(0));
    EXPECT_EQ(nullptr, feed.GetErrorText());
}

TEST(IptvStart, HistoryKeepsTenMostRecentDistinctSettings) {
    CIPTVFeed feed(0);
    const auto at = [](uint32_t host) { return MakeIPv4Address(0xC6336400 + host, 5000); };
    // Not local: each start fails after recording its settings and opens nothing.
    const auto startAt = [&](uint32_t host) {
        feed.SetGroup(at(host));
        EXPECT_FALSE(feed.Start(0));
    };
    for (uint32_t i : {1, 2, 3, 1}) startAt(i);
    CIPTVFeed::History h = feed.GetHistory();
    EXPECT_EQ(at(3), h[0].group);  // the known entry kept its place
    EXPECT_EQ(at(1), h[2].group);
    EXPECT_EQ(IptvSettings{}, h[3]);
    for (uint32_t i = 4; i <= 11; ++i) startAt(i);
    h = feed.GetHistory();
    EXPECT_EQ(at(11), h[0].group);
    EXPECT_EQ(at(2), h[9].group);  // 1, the oldest, is gone
    IptvSettings ssm = feed.Settings();
    ssm.ssm = 1;
    feed.SetSettings(ssm);
    EXPECT_FALSE(feed.Start(0));
    EXPECT_EQ(ssm, feed.GetHistory()[0]);  // the ssm byte alone makes it new
}

TEST(IptvFeed, DestroyedWhileReceivingUnderLoad) {
    Sender sender(kNetFamilyIPv4);
    Recorder got;
    auto* feed = new CIPTVFeed(0);
    feed->SetGroup(nettest::Loopback(kNetFamilyIPv4, 0));
    feed->SetCallback(&got, Recorder::Callback);
    ASSERT_TRUE(feed->Start(0));
    const NetAddress group = nettest::Loopback(kNetFamilyIPv4, feed->LocalPort());
    std::atomic<bool> sending{true};
    std::thread flood([&] {
        while (sending) sender.Send(group, Packets(7, 1));
    });
    const bool flowing = got.WaitForSamples(20);
    feed->Destroy();
    sending = false;
    flood.join();
    EXPECT_TRUE(flowing);
}

}  // namespace
