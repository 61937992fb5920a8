#include "host/UdpSender.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <thread>
#include <vector>

#include "net/Sockets.h"
#include "tests/support/NetNamespace.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A receiving socket on loopback with room for a burst. Arrival times are the
// kernel's, so that a reader that is scheduled late does not see a burst.
struct Receiver {
    SocketHandle s = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
    Receiver() {
        const int size = 8 << 20, on = 1;
        SocketSetOption(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        SocketSetOption(s, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        const timeval timeout{2, 0};
        SocketSetOption(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        SocketBind(s, MakeIPv4Address(INADDR_LOOPBACK, 0));
    }
    ~Receiver() { SocketClose(s); }
    std::string Address() const {
        NetAddress bound;
        SocketLocalAddress(s, bound);
        std::string text;
        FormatNetAddress(bound, text, true);
        return text;
    }
    std::vector<uint8_t> Next(std::chrono::nanoseconds* when = nullptr) {
        std::vector<uint8_t> d(2048);
        iovec io{d.data(), d.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(s, &message, 0);
        d.resize(n > 0 ? size_t(n) : 0);
        const cmsghdr* c = CMSG_FIRSTHDR(&message);
        if (when && n > 0 && c && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec t;
            std::memcpy(&t, CMSG_DATA(c), sizeof t);
            *when = std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
        }
        return d;
    }
};

std::vector<uint8_t> Packets(size_t count) {
    std::vector<uint8_t> data(count * 188);
    for (size_t i = 0; i < data.size(); ++i) data[i] = i % 188 == 0 ? 0x47 : uint8_t(i / 188 + i);
    return data;
}

}  // namespace

// Datagrams are cut from the joined stream whatever pieces it came in; with RTP each
// carries a header whose sequence counts up (across 65535) under one source id.
TEST(UdpSender, SevenPacketsPerDatagramPlainOrInRtpAndTheRestOnFlush) {
    for (const bool rtp : {false, true}) {
        Receiver receiver;
        UdpSender sender;
        std::string error;
        ASSERT_TRUE(sender.Open({receiver.Address(), rtp, 1, ""}, &error)) << error;
        const auto data = Packets(17);
        ASSERT_TRUE(sender.Send(data.data(), 1000));
        ASSERT_TRUE(sender.Send(data.data() + 1000, data.size() - 1000));
        ASSERT_TRUE(sender.Flush());
        EXPECT_EQ(sender.DatagramsSent(), 3u);
        const size_t header = rtp ? 12 : 0;
        std::vector<uint8_t> joined, first;
        for (size_t expected : {1316u, 1316u, 3u * 188u}) {
            const auto d = receiver.Next();
            ASSERT_EQ(d.size(), header + expected);
            joined.insert(joined.end(), d.begin() + static_cast<long>(header), d.end());
            if (!rtp) continue;
            if (first.empty()) first = d;
            EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 2), (std::vector<uint8_t>{0x80, 33}));
            EXPECT_EQ(((first[2] << 8 | first[3]) + (joined.size() - 1) / 1316) & 0xFFFF, size_t(d[2] << 8 | d[3]));
            EXPECT_TRUE(std::equal(d.begin() + 8, d.begin() + 12, first.begin() + 8)) << "one source id";
        }
        EXPECT_EQ(joined, data);
    }
    uint8_t header[12];
    UdpSender::WriteRtpHeader(header, 0xFFFF, 0x01020304, 0xAABBCCDD);
    EXPECT_EQ(std::vector<uint8_t>(header, header + 12),
              (std::vector<uint8_t>{0x80, 33, 0xFF, 0xFF, 1, 2, 3, 4, 0xAA, 0xBB, 0xCC, 0xDD}));
}

TEST(UdpSender, RefusesAddressesWithoutPortAndBadInterfaces) {
    UdpSender sender;
    std::string error;
    EXPECT_FALSE(sender.Open({"239.1.2.3", false, 1, ""}, &error));
    EXPECT_EQ(error, "not an address with a port: \"239.1.2.3\" (use 239.1.2.3:5000 or [ff15::1]:5000)");
    EXPECT_FALSE(sender.Open({"example:80", false, 1, ""}, &error));
    EXPECT_FALSE(sender.Open({"239.1.2.3:5000", false, 1, "not-an-address"}, &error));
    EXPECT_EQ(error, "cannot set up multicast sending (interface \"not-an-address\"): Invalid argument");
    EXPECT_FALSE(sender.Open({"[ff15::1]:5000", false, 1, "no-such-if0"}, &error));
    EXPECT_EQ(error, "cannot set up multicast sending (interface \"no-such-if0\"): No such device");
}

// Where no route leads, the failure reads in the system's words.
TEST(UdpSender, SendFailureUsesTheSystemsWords) {
    NetNamespace isolated("udp");
    if (!isolated.Created()) GTEST_SKIP() << "a network namespace cannot be created here (needs root)";
    bool opened = false, sent = true, flushed = true;
    std::string error, reported;
    ASSERT_TRUE(isolated.Run([&] {
        UdpSender sender;
        opened = sender.Open({"192.0.2.1:5000", false, 1, ""}, &error);
        const auto data = Packets(7);
        sent = sender.Send(data.data(), data.size());
        flushed = sender.Flush();
        reported = sender.Error();
        sent = sent && sender.Send(data.data(), data.size());  // stays failed
    }));
    ASSERT_TRUE(opened) << error;
    EXPECT_FALSE(flushed);
    EXPECT_FALSE(sent);
    EXPECT_EQ("cannot send to the network: Network is unreachable", reported);
}

// Blocks of 100 ms, as a paced file arrives, leave evenly spread: no 10 ms window
// carries much more than its share.
TEST(UdpSender, PacesBlocksEvenlyAtTheArrivalRate) {
    constexpr int kBlocks = 6;
    constexpr size_t kDatagramsPerBlock = 38;  // about 4 Mbit/s
    Receiver receiver;
    UdpSender sender;
    std::string error;
    ASSERT_TRUE(sender.Open({receiver.Address(), false, 1, ""}, &error)) << error;
    std::vector<std::chrono::nanoseconds> arrivals;
    std::thread reading([&] {
        for (size_t i = 0; i < kBlocks * kDatagramsPerBlock; ++i) {
            std::chrono::nanoseconds when{};
            if (receiver.Next(&when).empty()) return;
            arrivals.push_back(when);
        }
    });
    const auto block = Packets(7 * kDatagramsPerBlock);
    // Blocks at least 100 ms apart: a feeder that was scheduled late does not catch
    // up with a burst of its own.
    for (int i = 0; i < kBlocks; ++i) {
        const Clock::time_point sent = Clock::now();
        ASSERT_TRUE(sender.Send(block.data(), block.size()));
        std::this_thread::sleep_until(sent + 100ms);
    }
    ASSERT_TRUE(sender.Flush());
    reading.join();
    ASSERT_EQ(kBlocks * kDatagramsPerBlock, arrivals.size());

    const auto span = arrivals.back() - arrivals.front();
    EXPECT_GT(span, (kBlocks - 1) * 100ms) << "spread over the blocks, not sent as they came";
    const double meanPer10ms = static_cast<double>(arrivals.size()) / (span / 10ms);
    size_t busiest = 0;
    for (size_t i = 0, j = 0; i < arrivals.size(); ++i) {
        while (j < arrivals.size() && arrivals[j] - arrivals[i] < 10ms) ++j;
        busiest = std::max(busiest, j - i);
    }
    // Sent back to back, one window would carry a whole block (38 against a mean of
    // 4). An idle machine sees 5 or 6; the slack covers a pacing thread that a loaded
    // machine runs only every few milliseconds and that then catches up.
    EXPECT_LE(busiest, kDatagramsPerBlock / 2) << "mean " << meanPer10ms;
    RecordProperty("busiest_10ms", static_cast<int>(busiest));
    RecordProperty("mean_10ms_x100", static_cast<int>(meanPer10ms * 100));
}
