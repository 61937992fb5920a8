// Multicast reception without anything leaving this machine: over the loopback
// interface only, or between private network namespaces joined by a veth pair.
#include <net/if.h>
#include <netinet/in.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "net/DatagramReceiver.h"
#include "net/NamedThread.h"
#include "net/RtpReceiver.h"
#include "net/SocketErrorText.h"
#include "tests/net/ReceivedData.h"
#include "tests/support/NetNamespace.h"

namespace {

using namespace std::chrono_literals;
using namespace nettest;

// Sends out of one chosen interface only, one hop at most: never where the system
// would route multicast by default.
bool SendToGroup(const NetAddress& group, const std::vector<Bytes>& datagrams, uint32_t ipv4Interface,
                 unsigned ipv6Index = 0) {
    Sender sender(group.family);
    const int one = 1;
    const in_addr local{htonl(ipv4Interface)};
    const bool pinned =
        group.family == kNetFamilyIPv4
            ? SocketSetOption(sender.Get(), IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local) == 0 &&
                  SocketSetOption(sender.Get(), IPPROTO_IP, IP_MULTICAST_TTL, &one, sizeof one) == 0
            : ipv6Index != 0 &&
                  SocketSetOption(sender.Get(), IPPROTO_IPV6, IPV6_MULTICAST_IF, &ipv6Index, sizeof ipv6Index) == 0 &&
                  SocketSetOption(sender.Get(), IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &one, sizeof one) == 0;
    if (!pinned) return false;
    for (const Bytes& d : datagrams) {
        if (sender.Send(group, d) != static_cast<int>(d.size())) return false;
    }
    return true;
}

TEST(MulticastOverLoopback, EachReceiverGetsItsOwnGroupByteExact) {
    const NetAddress loopback = Loopback(kNetFamilyIPv4);
    ReceivedData gotA, gotB;
    RtpReceiver a(RtpMode::Auto), b(RtpMode::Raw);
    // The first receiver takes a free port; the second shares it for another group.
    NetAddress groupA = MakeIPv4Address(0xEFFF4B02, 0);
    ASSERT_TRUE(a.Open(groupA, &loopback)) << SocketErrorText(LastSocketError());
    const uint16_t port = NetAddressPort(BoundTo(a.Socket()));
    SetNetAddressPort(groupA, port);
    const NetAddress groupB = MakeIPv4Address(0xEFFF4B03, port);
    ASSERT_TRUE(b.Open(groupB, &loopback));
    ASSERT_NE(kNoThread, a.Start(&gotA, ReceivedData::OnData));
    ASSERT_NE(kNoThread, b.Start(&gotB, ReceivedData::OnData));

    const std::vector<Bytes> toA = {Pattern(1316, 1), Pattern(188, 2), Pattern(7 * 188, 3)};
    ASSERT_TRUE(SendToGroup(groupA, {toA[0]}, INADDR_LOOPBACK));
    ASSERT_TRUE(SendToGroup(groupB, {{0xB, 1}}, INADDR_LOOPBACK));
    ASSERT_TRUE(SendToGroup(groupA, {toA[1], toA[2]}, INADDR_LOOPBACK));
    ASSERT_TRUE(gotA.WaitForDatagrams(3));
    ASSERT_TRUE(gotB.WaitForDatagrams(1));
    a.Stop();
    b.Stop();
    EXPECT_EQ(toA, gotA.Datagrams());
    EXPECT_EQ((std::vector<Bytes>{{0xB, 1}}), gotB.Datagrams());
}

// Two namespaces joined by a veth pair: 10.231.0.1 and fd03::1 on "kva" in A,
// 10.231.0.2 and fd03::2 on "kvb" in B. Neither has a route towards any group.
class MulticastInNamespaces : public ::testing::Test {
protected:
    static constexpr uint32_t kAddressA = 0x0AE70001, kAddressB = 0x0AE70002;

    static void SetUpTestSuite() {
        a_ = new NetNamespace("a");
        b_ = new NetNamespace("b");
        linked_ = a_->Created() && b_->Created() && a_->In("link add kva type veth peer name kvb netns " + b_->Name()) &&
                  a_->In("addr add 10.231.0.1/24 dev kva") && a_->In("addr add fd03::1/64 dev kva nodad") &&
                  b_->In("addr add 10.231.0.2/24 dev kvb") && b_->In("addr add fd03::2/64 dev kvb nodad") &&
                  a_->In("link set kva up") && b_->In("link set kvb up");
        // The link reports itself running a moment after both ends are up.
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        bool ready = false;
        while (linked_ && !ready && std::chrono::steady_clock::now() < deadline) {
            uint32_t inA = 0, inB = 0;
            a_->Run([&] { inA = FirstActiveIPv4Address(); });
            b_->Run([&] { inB = FirstActiveIPv4Address(); });
            ready = inA == kAddressA && inB == kAddressB;
            if (!ready) std::this_thread::sleep_for(5ms);
        }
        linked_ = ready;
    }
    static void TearDownTestSuite() {
        delete a_;
        delete b_;
    }
    void SetUp() override {
        if (!linked_) GTEST_SKIP() << "two network namespaces joined by a veth pair cannot be set up here (needs root)";
    }

    static inline NetNamespace* a_ = nullptr;
    static inline NetNamespace* b_ = nullptr;
    static inline bool linked_ = false;
};

// A join that names no interface, where no route leads to the group: it is retried on
// the first active interface, which is written back; loopback does not count.
TEST_F(MulticastInNamespaces, JoinFallsBackToTheFirstActiveInterfaceOrFailsAsNoRouteToHost) {
    NetNamespace alone("c");
    ASSERT_TRUE(alone.Created());
    for (const NetNamespace* where : {a_, &alone}) {
        int plain = 0, fallback = 0, error = 0;
        ip_mreq request{};
        request.imr_multiaddr.s_addr = htonl(0xEFFF4B11);
        ASSERT_TRUE(where->Run([&] {
            Sender s(kNetFamilyIPv4);
            ip_mreq direct = request;
            plain = SocketSetOption(s.Get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &direct, sizeof direct);
            fallback = JoinGroupWithFallback(s.Get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
            error = LastSocketError();
        }));
        EXPECT_EQ(-1, plain);
        if (where == a_) {
            EXPECT_EQ(0, fallback);
            EXPECT_EQ(htonl(kAddressA), request.imr_interface.s_addr);
        } else {
            EXPECT_EQ(-1, fallback);
            EXPECT_STREQ("WSAEHOSTUNREACH - No route to host.", SocketErrorText(error));
            EXPECT_EQ(0u, request.imr_interface.s_addr);
        }
    }
}

TEST_F(MulticastInNamespaces, ReceiversWithoutInterfaceJoinThroughTheFallback) {
    NetAddress group = MakeIPv4Address(0xEFFF4B12, 0), status = MakeIPv4Address(0xEFFF4B13, 0);
    ReceivedData got, gotStatus;
    RtpReceiver r(RtpMode::Auto);
    DatagramReceiver statusChannel;  // opens, joins and starts at once
    statusChannel.SetCallbacks(&gotStatus, ReceivedData::OnData, nullptr);
    bool opened = false;
    ASSERT_TRUE(a_->Run([&] {
        opened = r.Open(group, nullptr) && r.Start(&got, ReceivedData::OnData) != kNoThread &&
                 statusChannel.OpenAndStart(status) != kNoThread;
    }));
    ASSERT_TRUE(opened) << SocketErrorText(LastSocketError());
    SetNetAddressPort(group, NetAddressPort(BoundTo(r.Socket())));
    SetNetAddressPort(status, NetAddressPort(BoundTo(statusChannel.Socket())));

    const std::vector<Bytes> sent = {Pattern(1316, 4), Pattern(188, 5)};
    bool delivered = false;
    ASSERT_TRUE(b_->Run([&] {
        delivered = SendToGroup(group, sent, kAddressB) && SendToGroup(status, {Rtp(1, {0x47, 0})}, kAddressB);
    }));
    ASSERT_TRUE(delivered);
    EXPECT_TRUE(got.WaitForDatagrams(sent.size(), 2s));
    EXPECT_TRUE(gotStatus.WaitForDatagrams(1, 2s));
    r.Stop();
    statusChannel.Stop();
    EXPECT_EQ(sent, got.Datagrams());
    EXPECT_EQ((std::vector<Bytes>{{0x47, 0}}), gotStatus.Datagrams());
}

TEST_F(MulticastInNamespaces, IPv6GroupOverTheLink) {
    const uint8_t groupBytes[16] = {0xff, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4b, 0x01};
    NetAddress group = MakeIPv6Address(groupBytes, 0);
    ReceivedData got;
    RtpReceiver r(RtpMode::Raw);
    bool opened = false;
    ASSERT_TRUE(a_->Run([&] { opened = r.Open(group, nullptr) && r.Start(&got, ReceivedData::OnData) != kNoThread; }));
    ASSERT_TRUE(opened) << SocketErrorText(LastSocketError());
    SetNetAddressPort(group, NetAddressPort(BoundTo(r.Socket())));
    const Bytes sent = Pattern(1316, 6);
    bool delivered = false;
    ASSERT_TRUE(b_->Run([&] { delivered = SendToGroup(group, {sent}, 0, if_nametoindex("kvb")); }));
    ASSERT_TRUE(delivered) << SocketErrorText(LastSocketError());
    EXPECT_TRUE(got.WaitForDatagrams(1, 2s));
    r.Stop();
    EXPECT_EQ((std::vector<Bytes>{sent}), got.Datagrams());
}

}  // namespace
