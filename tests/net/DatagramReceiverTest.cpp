#include "net/DatagramReceiver.h"

#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "net/NamedThread.h"
#include "net/RtpReceiver.h"
#include "net/SocketErrorText.h"
#include "tests/net/ReceivedData.h"

namespace {

using namespace std::chrono_literals;
using Bytes = ReceivedData::Bytes;
using Clock = std::chrono::steady_clock;

const uint8_t kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const NetAddress kAnyPort4 = MakeIPv4Address(INADDR_LOOPBACK, 0);
const NetAddress kAnyPort6 = MakeIPv6Address(kLoopback6, 0);

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return b;
}

Bytes Rtp(int sequence, const Bytes& payload) {
    const uint8_t header[12] = {0x80, 33, static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence),
                                1, 2, 3, 4, 5, 6, 7, 8};
    Bytes d(header, header + 12);
    for (uint8_t b : payload) d.push_back(b);
    return d;
}

NetAddress BoundAddress(const DatagramReceiver& r) {
    NetAddress a;
    EXPECT_EQ(0, SocketLocalAddress(r.Socket(), a));
    return a;
}

class Sender {
public:
    explicit Sender(int family) : s_(SocketCreate(family, SOCK_DGRAM)) {}
    ~Sender() { SocketClose(s_); }
    int Send(const NetAddress& to, const Bytes& d) {
        return SocketSendTo(s_, d.data(), static_cast<int>(d.size()), to);
    }

private:
    SocketHandle s_;
};

TEST(DatagramReceiver, PlainUdpOverIPv4LoopbackArrivesByteExact) {
    ReceivedData got;
    RtpReceiver r(RtpMode::Raw);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));

    const std::vector<Bytes> sent = {Pattern(1, 1), Pattern(7 * 188, 2), Pattern(DatagramReceiver::kBufferSize, 3)};
    Sender sender(kNetFamilyIPv4);
    for (const Bytes& d : sent) ASSERT_EQ(static_cast<int>(d.size()), sender.Send(BoundAddress(r), d));
    ASSERT_TRUE(got.WaitForDatagrams(sent.size()));
    EXPECT_EQ(sent, got.Datagrams());

    r.Stop();
    EXPECT_EQ(1, got.EndOfStreamCount());
    EXPECT_FALSE(got.DataAfterEnd());
    EXPECT_EQ(kInvalidSocket, r.Socket());
}

TEST(DatagramReceiver, RtpOverIPv6LoopbackDropsDuplicatesAndReportsLoss) {
    ReceivedData got;
    RtpReceiver r(RtpMode::Rtp);
    r.SetCallbacks(&got, ReceivedData::OnData, ReceivedData::OnLoss);
    ASSERT_TRUE(r.Open(kAnyPort6, nullptr));
    ASSERT_NE(kNoThread, r.Start(nullptr, nullptr));  // keeps the callbacks set before

    const Bytes a = Pattern(1316, 10), b = Pattern(188, 11), c = Pattern(1, 12);
    Sender sender(kNetFamilyIPv6);
    const NetAddress to = BoundAddress(r);
    EXPECT_EQ(kNetFamilyIPv6, to.family);
    for (const Bytes& d : {Rtp(65534, a), Rtp(65534, a), Rtp(65535, b), Rtp(2, c)}) {
        ASSERT_EQ(static_cast<int>(d.size()), sender.Send(to, d));
    }
    ASSERT_TRUE(got.WaitForDatagrams(3));
    r.Stop();
    EXPECT_EQ((std::vector<Bytes>{a, b, c}), got.Datagrams());
    EXPECT_EQ((std::vector<std::pair<int, int>>{{2, 0}}), got.Losses());
}

TEST(DatagramReceiver, BaseReceiverTakesDatagramsAsRtp) {
    ReceivedData got;
    DatagramReceiver r;
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
    Sender sender(kNetFamilyIPv4);
    ASSERT_GT(sender.Send(BoundAddress(r), Pattern(188, 0x47)), 0);  // not RTP: dropped
    ASSERT_GT(sender.Send(BoundAddress(r), Rtp(9, Pattern(188, 1))), 0);
    ASSERT_TRUE(got.WaitForDatagrams(1));
    r.Stop();
    EXPECT_EQ((std::vector<Bytes>{Pattern(188, 1)}), got.Datagrams());
}

TEST(DatagramReceiver, DatagramLargerThanTheBufferIsCutAndReceptionGoesOn) {
    // Over IPv6 a datagram may carry 65527 bytes, 20 more than the receive buffer holds.
    ReceivedData got;
    RtpReceiver r(RtpMode::Raw);
    ASSERT_TRUE(r.Open(kAnyPort6, nullptr));
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
    const Bytes big = Pattern(65527, 5);
    const Bytes next = Pattern(100, 6);
    Sender sender(kNetFamilyIPv6);
    ASSERT_EQ(65527, sender.Send(BoundAddress(r), big)) << SocketErrorText(LastSocketError());
    ASSERT_EQ(100, sender.Send(BoundAddress(r), next));
    ASSERT_TRUE(got.WaitForDatagrams(2));
    r.Stop();
    const auto datagrams = got.Datagrams();
    EXPECT_EQ(Bytes(big.begin(), big.begin() + DatagramReceiver::kBufferSize), datagrams[0]);
    EXPECT_EQ(next, datagrams[1]);
    EXPECT_EQ(1, got.EndOfStreamCount());
}

TEST(DatagramReceiver, EmptyDatagramDoesNotEndReception) {
    ReceivedData got;
    RtpReceiver r(RtpMode::Raw);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
    Sender sender(kNetFamilyIPv4);
    ASSERT_EQ(0, sender.Send(BoundAddress(r), {}));
    ASSERT_EQ(3, sender.Send(BoundAddress(r), {1, 2, 3}));
    ASSERT_TRUE(got.WaitForDatagrams(1));
    EXPECT_EQ(0, got.EndOfStreamCount());
    r.Stop();
    EXPECT_EQ((std::vector<Bytes>{{1, 2, 3}}), got.Datagrams());
}

TEST(DatagramReceiver, StopEndsAnIdleReceiverPromptlyWithOneEndNotice) {
    ReceivedData got;
    RtpReceiver r(RtpMode::Auto);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
    std::this_thread::sleep_for(20ms);  // let the thread block in its receive
    const auto begin = Clock::now();
    r.Stop();
    EXPECT_LT(Clock::now() - begin, 500ms);
    EXPECT_EQ(1, got.EndOfStreamCount());
    r.Stop();  // a second stop neither waits nor calls back
    EXPECT_EQ(1, got.EndOfStreamCount());
    EXPECT_TRUE(got.Datagrams().empty());
}

TEST(DatagramReceiver, StopBeforeStartClosesWithoutCallbacks) {
    ReceivedData got;
    DatagramReceiver r;
    r.SetCallbacks(&got, ReceivedData::OnData, nullptr);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    EXPECT_NE(kInvalidSocket, r.Socket());
    r.Stop();
    EXPECT_EQ(kInvalidSocket, r.Socket());
    EXPECT_EQ(0, got.EndOfStreamCount());
}

TEST(DatagramReceiver, StartNeedsAnOpenSocketAndRunsOnce) {
    ReceivedData got;
    RtpReceiver r(RtpMode::Raw);
    EXPECT_EQ(kNoThread, r.Start(&got, ReceivedData::OnData));
    EXPECT_STREQ("WSAENOTSOCK - Socket operation on nonsocket.", SocketErrorText(LastSocketError()));

    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
    ReceivedData other;
    EXPECT_EQ(kNoThread, r.Start(&other, ReceivedData::OnData));
    EXPECT_EQ(10037, LastSocketError());
    EXPECT_FALSE(r.Open(kAnyPort4, nullptr));  // not while receiving
    EXPECT_EQ(10037, LastSocketError());

    // The running thread kept its callbacks and socket.
    Sender sender(kNetFamilyIPv4);
    ASSERT_EQ(2, sender.Send(BoundAddress(r), {4, 5}));
    ASSERT_TRUE(got.WaitForDatagrams(1));
    r.Stop();
    EXPECT_TRUE(other.Datagrams().empty());
    EXPECT_EQ(0, other.EndOfStreamCount());
}

TEST(DatagramReceiver, ReopensAndRestartsAfterStop) {
    ReceivedData got;
    RtpReceiver r(RtpMode::Raw);
    Sender sender(kNetFamilyIPv4);
    for (uint8_t round = 0; round < 3; ++round) {
        ASSERT_TRUE(r.Open(round == 1 ? kAnyPort6 : kAnyPort4, nullptr));
        ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));
        if (round == 1) {
            Sender sender6(kNetFamilyIPv6);
            ASSERT_EQ(1, sender6.Send(BoundAddress(r), {round}));
        } else {
            ASSERT_EQ(1, sender.Send(BoundAddress(r), {round}));
        }
        ASSERT_TRUE(got.WaitForDatagrams(round + 1u));
        r.Stop();
        EXPECT_EQ(round + 1, got.EndOfStreamCount());
    }
    EXPECT_EQ((std::vector<Bytes>{{0}, {1}, {2}}), got.Datagrams());
}

TEST(DatagramReceiver, OpenFailuresCloseTheSocketAndNameTheCause) {
    RtpReceiver r(RtpMode::Raw);
    EXPECT_FALSE(r.Open(MakeIPv4Address(0xCB007101, 5000), nullptr));  // not an address of this machine
    EXPECT_STREQ("WSAEADDRNOTAVAIL - Cannot assign requested address.", SocketErrorText(LastSocketError()));
    EXPECT_EQ(kInvalidSocket, r.Socket());

    EXPECT_FALSE(r.Open(NetAddress{}, nullptr));
    EXPECT_EQ(10047, LastSocketError());

    // A port that an exclusive socket holds.
    const SocketHandle holder = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
    ASSERT_EQ(0, SocketBind(holder, kAnyPort4));
    NetAddress taken;
    ASSERT_EQ(0, SocketLocalAddress(holder, taken));
    EXPECT_FALSE(r.Open(taken, nullptr));
    EXPECT_EQ(10048, LastSocketError());
    EXPECT_EQ(kInvalidSocket, r.Socket());
    SocketClose(holder);
}

TEST(DatagramReceiver, ReceiveBufferIsAsLargeAsAllowed) {
    RtpReceiver r(RtpMode::Raw);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    int size = 0;
    socklen_t length = sizeof size;
    ASSERT_EQ(0, getsockopt(r.Socket(), SOL_SOCKET, SO_RCVBUF, &size, &length));
    long limit = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> limit;
    ASSERT_GT(limit, 0);
    // The system doubles what it is given for its own bookkeeping.
    EXPECT_GE(size, 2 * std::min<long>(DatagramReceiver::kReceiveBufferBytes, limit));
}

TEST(DatagramReceiver, OpenAndStartReceivesUnicastAtOnce) {
    ReceivedData got;
    DatagramReceiver r;
    r.SetCallbacks(&got, ReceivedData::OnData, ReceivedData::OnLoss);
    ASSERT_NE(kNoThread, r.OpenAndStart(kAnyPort4));
    Sender sender(kNetFamilyIPv4);
    ASSERT_GT(sender.Send(BoundAddress(r), Rtp(1, {1})), 0);
    ASSERT_GT(sender.Send(BoundAddress(r), Rtp(3, {3})), 0);
    ASSERT_TRUE(got.WaitForDatagrams(2));
    r.Stop();
    EXPECT_EQ((std::vector<std::pair<int, int>>{{3, 2}}), got.Losses());
    EXPECT_EQ(1, got.EndOfStreamCount());
}

struct ThreadName {
    char name[32] = {};
    std::atomic<bool> seen{false};
    static void Record(void* context, const uint8_t* data, int) {
        auto* self = static_cast<ThreadName*>(context);
        if (!data || self->seen.load()) return;
        pthread_getname_np(pthread_self(), self->name, sizeof self->name);
        self->seen.store(true);
    }
};

TEST(DatagramReceiver, ReceiveThreadIsNamed) {
    ThreadName thread;
    RtpReceiver r(RtpMode::Raw);
    ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
    ASSERT_NE(kNoThread, r.Start(&thread, ThreadName::Record));
    Sender sender(kNetFamilyIPv4);
    ASSERT_EQ(1, sender.Send(BoundAddress(r), {1}));
    const auto deadline = Clock::now() + 5s;
    while (!thread.seen.load() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    r.Stop();
    ASSERT_TRUE(thread.seen.load());
    EXPECT_STREQ("sThread", thread.name);
}

// A callback counter that flags any call made after the owner declared reception over.
struct StopWatch {
    std::atomic<long> datagrams{0};
    std::atomic<bool> stopped{false};
    std::atomic<bool> lateCall{false};
    static void OnData(void* context, const uint8_t*, int) {
        auto* self = static_cast<StopWatch*>(context);
        if (self->stopped.load()) self->lateCall.store(true);
        self->datagrams.fetch_add(1);
    }
};

TEST(DatagramReceiver, StopUnderSteadyTrafficLeavesNoLateCallbacks) {
    for (int round = 0; round < 5; ++round) {
        StopWatch watch;
        RtpReceiver r(RtpMode::Raw);
        ASSERT_TRUE(r.Open(kAnyPort4, nullptr));
        const NetAddress to = BoundAddress(r);
        ASSERT_NE(kNoThread, r.Start(&watch, StopWatch::OnData));

        std::atomic<bool> sending{true};
        std::thread flood([&] {
            Sender sender(kNetFamilyIPv4);
            const Bytes d = Pattern(1316, 1);
            while (sending.load()) sender.Send(to, d);
        });
        const auto deadline = Clock::now() + 2s;
        while (watch.datagrams.load() < 50 && Clock::now() < deadline) std::this_thread::yield();
        EXPECT_GE(watch.datagrams.load(), 50);

        const auto begin = Clock::now();
        r.Stop();
        watch.stopped.store(true);
        EXPECT_LT(Clock::now() - begin, 500ms);
        std::this_thread::sleep_for(10ms);
        sending.store(false);
        flood.join();
        EXPECT_FALSE(watch.lateCall.load());
    }
}

TEST(DatagramReceiver, DestroyingARunningReceiverStopsIt) {
    ReceivedData got;
    auto r = std::make_unique<RtpReceiver>(RtpMode::Raw);
    ASSERT_TRUE(r->Open(kAnyPort6, nullptr));
    ASSERT_NE(kNoThread, r->Start(&got, ReceivedData::OnData));
    Sender sender(kNetFamilyIPv6);
    ASSERT_EQ(2, sender.Send(BoundAddress(*r), {8, 9}));
    ASSERT_TRUE(got.WaitForDatagrams(1));
    r.reset();
    EXPECT_EQ(1, got.EndOfStreamCount());
}

}  // namespace
