#include "net/DatagramReceiver.h"

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "net/NamedThread.h"
#include "net/RtpReceiver.h"
#include "net/SocketErrorText.h"
#include "tests/net/ReceivedData.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;
using namespace nettest;
using Clock = std::chrono::steady_clock;

const NetAddress kAnyPort4 = Loopback(kNetFamilyIPv4);
const NetAddress kAnyPort6 = Loopback(kNetFamilyIPv6);

bool SomeThreadIsNamed(const std::string& name, bool asleep = false) { return ThreadsNamed(name, asleep) > 0; }

TEST(DatagramReceiver, PlainUdpOverIPv4ByteExactOnANamedThreadThenOneEndNotice) {
    ReceivedData got;
    RtpReceiver r(RtpMode::Raw);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
    // The largest datagram fills the buffer; an empty one must not end reception.
    const std::vector<Bytes> sent = {Pattern(1, 1), {}, Pattern(7 * 188, 2), Pattern(DatagramReceiver::kBufferSize, 3)};
    Sender sender(kNetFamilyIPv4);
    for (const Bytes& d : sent) ASSERT_EQ(static_cast<int>(d.size()), sender.Send(BoundTo(r.Socket()), d));
    ASSERT_TRUE(got.WaitForDatagrams(3));
    EXPECT_EQ((std::vector<Bytes>{sent[0], sent[2], sent[3]}), got.Datagrams());
    EXPECT_EQ(0, got.EndOfStreamCount());
    EXPECT_TRUE(SomeThreadIsNamed("sThread"));

    r.Stop();
    EXPECT_EQ(1, got.EndOfStreamCount());
    EXPECT_FALSE(got.DataAfterEnd());
    EXPECT_EQ(kInvalidSocket, r.Socket());
}

TEST(DatagramReceiver, RtpOverIPv6DropsDuplicatesReportsLossCutsTheOversizedAndStopsWhenDestroyed) {
    ReceivedData got;
    auto r = std::make_unique<RtpReceiver>(RtpMode::Rtp);
    r->SetCallbacks(&got, ReceivedData::OnData, ReceivedData::OnLoss);
    ASSERT_TRUE(r->Open(kAnyPort6, nullptr));
    ASSERT_NE(kNoThread, r->Start(nullptr, nullptr));  // keeps the callbacks set before
    const NetAddress to = BoundTo(r->Socket());
    EXPECT_EQ(kNetFamilyIPv6, to.family);

    // Over IPv6 a datagram may carry 65527 bytes, 20 more than the receive buffer holds.
    const Bytes a = Pattern(1316, 10), b = Pattern(188, 11), c = Pattern(65527 - 12, 12), d = Pattern(1, 13);
    Sender sender(kNetFamilyIPv6);
    for (const Bytes& datagram : {Rtp(65534, a), Rtp(65534, a), Rtp(65535, b), Rtp(2, c), Rtp(3, d)}) {
        ASSERT_EQ(static_cast<int>(datagram.size()), sender.Send(to, datagram)) << SocketErrorText(LastSocketError());
    }
    ASSERT_TRUE(got.WaitForDatagrams(4));
    r.reset();
    const Bytes cut(c.begin(), c.begin() + DatagramReceiver::kBufferSize - 12);
    EXPECT_EQ((std::vector<Bytes>{a, b, cut, d}), got.Datagrams());
    EXPECT_EQ((std::vector<std::pair<int, int>>{{2, 0}}), got.Losses());
    EXPECT_EQ(1, got.EndOfStreamCount());
}

TEST(DatagramReceiver, StopIsPromptIdempotentAndSilentBeforeStart) {
    ReceivedData idle, never;
    RtpReceiver r(RtpMode::Auto);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&idle, ReceivedData::OnData));
    ASSERT_TRUE(WaitUntil([] { return SomeThreadIsNamed("sThread", true); }));  // blocked in its receive
    const auto begin = Clock::now();
    r.Stop();
    EXPECT_LT(Clock::now() - begin, 500ms);
    r.Stop();  // a second stop neither waits nor calls back
    EXPECT_EQ(1, idle.EndOfStreamCount());

    DatagramReceiver opened;
    opened.SetCallbacks(&never, ReceivedData::OnData, nullptr);
    ASSERT_TRUE(opened.Open(kAnyPort4, nullptr));
    opened.Stop();
    EXPECT_EQ(kInvalidSocket, opened.Socket());
    EXPECT_EQ(0, never.EndOfStreamCount());
}

TEST(DatagramReceiver, StartNeedsAnOpenSocketRunsOnceAndRestartsAfterStop) {
    ReceivedData got, other;
    RtpReceiver r(RtpMode::Raw);
    EXPECT_EQ(kNoThread, r.Start(&got, ReceivedData::OnData));
    EXPECT_STREQ("WSAENOTSOCK - Socket operation on nonsocket.", SocketErrorText(LastSocketError()));

    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
    EXPECT_EQ(kNoThread, r.Start(&other, ReceivedData::OnData));
    EXPECT_EQ(10037, LastSocketError());
    EXPECT_FALSE(r.Open(kAnyPort4, nullptr));  // not while receiving
    EXPECT_EQ(10037, LastSocketError());

    // The running thread kept its callbacks and socket; after a stop it opens again.
    for (uint8_t round = 0; round < 3; ++round) {
        const int family = round == 1 ? kNetFamilyIPv6 : kNetFamilyIPv4;
        if (round > 0) {
            ASSERT_TRUE(r.Open(Loopback(family), nullptr));
            ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
        }
        ASSERT_EQ(1, Sender(family).Send(BoundTo(r.Socket()), {round}));
        ASSERT_TRUE(got.WaitForDatagrams(round + 1u));
        r.Stop();
        EXPECT_EQ(round + 1, got.EndOfStreamCount());
    }
    EXPECT_EQ((std::vector<Bytes>{{0}, {1}, {2}}), got.Datagrams());
    EXPECT_TRUE(other.Datagrams().empty());
    EXPECT_EQ(0, other.EndOfStreamCount());
}

TEST(DatagramReceiver, FailedReopenLeavesNoSocketAndNamesTheStep) {
    Sender holder(kNetFamilyIPv4);  // without address reuse: the port is its alone
    ASSERT_EQ(0, SocketBind(holder.Get(), kAnyPort4));
    RtpReceiver r(RtpMode::Raw);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    EXPECT_FALSE(r.Open(BoundTo(holder.Get()), nullptr));
    EXPECT_EQ(10048, LastSocketError());
    EXPECT_EQ(kInvalidSocket, r.Socket());
    EXPECT_EQ("bind(127.0.0.1:" + std::to_string(NetAddressPort(BoundTo(holder.Get()))) + ")\r\n",
              r.LastOpenError().operation);
}

TEST(DatagramReceiver, StatusChannelOpensWithoutReuseAndTakesRtp) {
    ReceivedData got;
    DatagramReceiver r;
    r.SetCallbacks(&got, ReceivedData::OnData, ReceivedData::OnLoss);
    ASSERT_NE(kNoThread, r.OpenAndStart(kAnyPort4));
    EXPECT_EQ(0, IntOption(r.Socket(), SOL_SOCKET, SO_REUSEADDR));
    Sender sender(kNetFamilyIPv4);
    ASSERT_GT(sender.Send(BoundTo(r.Socket()), Pattern(188, 0x47)), 0);  // not RTP: dropped
    ASSERT_GT(sender.Send(BoundTo(r.Socket()), Rtp(1, {1})), 0);
    ASSERT_GT(sender.Send(BoundTo(r.Socket()), Rtp(3, {3})), 0);
    ASSERT_TRUE(got.WaitForDatagrams(2));
    r.Stop();
    EXPECT_EQ((std::vector<Bytes>{{1}, {3}}), got.Datagrams());
    EXPECT_EQ((std::vector<std::pair<int, int>>{{3, 2}}), got.Losses());
}

TEST(DatagramReceiver, StopUnderSteadyTrafficLeavesNoLateCallbacks) {
    for (int round = 0; round < 5; ++round) {
        ReceivedData got;
        RtpReceiver r(RtpMode::Raw);
        ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
        const NetAddress to = BoundTo(r.Socket());
        ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
        std::atomic<bool> sending{true};
        std::thread flood([&] {
            Sender sender(kNetFamilyIPv4);
            while (sending.load()) sender.Send(to, {1});
        });
        EXPECT_TRUE(got.WaitForDatagrams(50, 2s));
        const auto begin = Clock::now();
        r.Stop();
        EXPECT_LT(Clock::now() - begin, 500ms);
        // The end notice is the receive thread's last callback: seen by the time Stop
        // returns, and nothing after it, the thread is done.
        EXPECT_EQ(1, got.EndOfStreamCount());
        sending.store(false);
        flood.join();
        EXPECT_FALSE(got.DataAfterEnd());
    }
}

}  // namespace
