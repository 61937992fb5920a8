// Multicast reception without anything leaving this machine: over the loopback
// interface only, or between private network namespaces joined by a veth pair.
#include "tests/support/NetNamespace.h"
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "net/DatagramReceiver.h"
#include "net/NamedThread.h"
#include "net/RtpReceiver.h"
#include "net/SocketErrorText.h"
#include "net/Sockets.h"
#include "tests/net/ReceivedData.h"

namespace {

using namespace std::chrono_literals;
using Bytes = ReceivedData::Bytes;

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed * 31 + i);
    return b;
}

uint16_t FreeUdpPort() {
    const SocketHandle s = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
    NetAddress a;
    EXPECT_EQ(0, SocketBind(s, MakeIPv4Address(INADDR_LOOPBACK, 0)));
    EXPECT_EQ(0, SocketLocalAddress(s, a));
    SocketClose(s);
    return NetAddressPort(a);
}

// A sender whose multicast goes out of one chosen interface only, one hop at most.
class GroupSender {
public:
    // IPv4: the interface by its address (host order).
    static GroupSender IPv4(uint32_t interfaceAddress) {
        GroupSender g(kNetFamilyIPv4);
        in_addr local{htonl(interfaceAddress)};
        const int ttl = 1;
        g.ready_ = SocketSetOption(g.s_, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local) == 0 &&
                   SocketSetOption(g.s_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0;
        return g;
    }
    // IPv6: the interface by its index.
    static GroupSender IPv6(unsigned interfaceIndex) {
        GroupSender g(kNetFamilyIPv6);
        const int hops = 1;
        g.ready_ = interfaceIndex != 0 &&
                   SocketSetOption(g.s_, IPPROTO_IPV6, IPV6_MULTICAST_IF, &interfaceIndex, sizeof interfaceIndex) == 0 &&
                   SocketSetOption(g.s_, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops) == 0;
        return g;
    }
    GroupSender(GroupSender&& o) noexcept : s_(o.s_), ready_(o.ready_) { o.s_ = kInvalidSocket; }
    ~GroupSender() { if (s_ != kInvalidSocket) SocketClose(s_); }

    int Send(const NetAddress& group, const Bytes& d) {
        // Never without the interface pinned: the default would be this machine's network.
        if (!ready_) return -2;
        return SocketSendTo(s_, d.data(), static_cast<int>(d.size()), group);
    }

private:
    explicit GroupSender(int family) : s_(SocketCreate(family, SOCK_DGRAM)) {}
    SocketHandle s_;
    bool ready_ = false;
};

const uint32_t kLoopback = INADDR_LOOPBACK;

TEST(MulticastOverLoopback, JoinedGroupArrivesByteExact) {
    const uint16_t port = FreeUdpPort();
    const NetAddress group = MakeIPv4Address(0xEFFF4B01, port);  // 239.255.75.1
    const NetAddress loopback = MakeIPv4Address(kLoopback, 0);
    ReceivedData got;
    RtpReceiver r(RtpMode::Auto);
    ASSERT_TRUE(r.Open(group, &loopback)) << SocketErrorText(LastSocketError());
    ASSERT_NE(kNoThread, r.Start(&got, ReceivedData::OnData));

    GroupSender sender = GroupSender::IPv4(kLoopback);
    const std::vector<Bytes> sent = {Pattern(1316, 1), Pattern(188, 2), Pattern(7 * 188, 3)};
    for (const Bytes& d : sent) ASSERT_EQ(static_cast<int>(d.size()), sender.Send(group, d));
    ASSERT_TRUE(got.WaitForDatagrams(sent.size()));
    r.Stop();
    EXPECT_EQ(sent, got.Datagrams());
}

TEST(MulticastOverLoopback, EachReceiverGetsOnlyItsOwnGroup) {
    const uint16_t port = FreeUdpPort();
    const NetAddress groupA = MakeIPv4Address(0xEFFF4B02, port);
    const NetAddress groupB = MakeIPv4Address(0xEFFF4B03, port);
    const NetAddress loopback = MakeIPv4Address(kLoopback, 0);
    ReceivedData gotA, gotB;
    RtpReceiver a(RtpMode::Raw), b(RtpMode::Raw);
    ASSERT_TRUE(a.Open(groupA, &loopback));
    ASSERT_TRUE(b.Open(groupB, &loopback));  // same port: both allow sharing it
    ASSERT_NE(kNoThread, a.Start(&gotA, ReceivedData::OnData));
    ASSERT_NE(kNoThread, b.Start(&gotB, ReceivedData::OnData));

    GroupSender sender = GroupSender::IPv4(kLoopback);
    ASSERT_EQ(2, sender.Send(groupA, {0xA, 1}));
    ASSERT_EQ(2, sender.Send(groupB, {0xB, 1}));
    ASSERT_EQ(2, sender.Send(groupA, {0xA, 2}));
    ASSERT_TRUE(gotA.WaitForDatagrams(2));
    ASSERT_TRUE(gotB.WaitForDatagrams(1));
    a.Stop();
    b.Stop();
    EXPECT_EQ((std::vector<Bytes>{{0xA, 1}, {0xA, 2}}), gotA.Datagrams());
    EXPECT_EQ((std::vector<Bytes>{{0xB, 1}}), gotB.Datagrams());
}


// Two namespaces joined by a veth pair: 10.231.0.1 on "kva" in A, 10.231.0.2 on
// "kvb" in B. Neither has a route towards any multicast group.
class MulticastInNamespaces : public ::testing::Test {
protected:
    static constexpr uint32_t kAddressA = 0x0AE70001;
    static constexpr uint32_t kAddressB = 0x0AE70002;

    static void SetUpTestSuite() {
        a_ = new NetNamespace("a");
        b_ = new NetNamespace("b");
        if (!a_->Created() || !b_->Created()) return;
        const std::string& a = a_->Name();
        const std::string& b = b_->Name();
        // Without duplicate address detection the link-local addresses are usable at once.
        for (const std::string& ns : {a, b}) {
            NetNamespace::Ip("netns exec " + ns + " sysctl -qw net.ipv6.conf.all.accept_dad=0 " +
                             "net.ipv6.conf.default.accept_dad=0");
        }
        linked_ = NetNamespace::Ip("-n " + a + " link add kva type veth peer name kvb netns " + b) &&
                  NetNamespace::Ip("-n " + a + " addr add 10.231.0.1/24 dev kva") &&
                  NetNamespace::Ip("-n " + b + " addr add 10.231.0.2/24 dev kvb") &&
                  NetNamespace::Ip("-n " + a + " link set kva up") && NetNamespace::Ip("-n " + b + " link set kvb up");
        if (!linked_) return;
        // The link reports itself running, and gets its IPv6 link-local address, a
        // moment after both ends are up.
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        bool ready = false;
        while (!ready && std::chrono::steady_clock::now() < deadline) {
            bool readyA = false, readyB = false;
            a_->Run([&] { readyA = FirstActiveIPv4Address() == kAddressA && HasIPv6Address("kva"); });
            b_->Run([&] { readyB = FirstActiveIPv4Address() == kAddressB && HasIPv6Address("kvb"); });
            ready = readyA && readyB;
            if (!ready) std::this_thread::sleep_for(5ms);
        }
        linked_ = ready;
    }

    static bool HasIPv6Address(const char* interfaceName) {
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0) return false;
        bool found = false;
        for (const ifaddrs* e = list; e && !found; e = e->ifa_next) {
            found = e->ifa_addr && e->ifa_addr->sa_family == AF_INET6 && std::string(e->ifa_name) == interfaceName;
        }
        freeifaddrs(list);
        return found;
    }

    static void TearDownTestSuite() {
        delete a_;
        delete b_;
        a_ = b_ = nullptr;
    }

    void SetUp() override {
        if (!a_->Created() || !b_->Created()) GTEST_SKIP() << "network namespaces cannot be created here (needs root and ip netns)";
        if (!linked_) GTEST_SKIP() << "a veth pair between two network namespaces cannot be set up here";
    }

    static NetNamespace* a_;
    static NetNamespace* b_;
    static bool linked_;
};

NetNamespace* MulticastInNamespaces::a_ = nullptr;
NetNamespace* MulticastInNamespaces::b_ = nullptr;
bool MulticastInNamespaces::linked_ = false;

TEST_F(MulticastInNamespaces, FirstActiveAddressSkipsLoopbackAndLinksWithoutCarrier) {
    uint32_t inA = 1;
    ASSERT_TRUE(a_->Run([&] { inA = FirstActiveIPv4Address(); }));
    EXPECT_EQ(kAddressA, inA);

    NetNamespace alone("c");
    ASSERT_TRUE(alone.Created());
    uint32_t onlyLoopback = 1;
    ASSERT_TRUE(alone.Run([&] { onlyLoopback = FirstActiveIPv4Address(); }));
    EXPECT_EQ(0u, onlyLoopback);

    // Up, addressed, but its peer is down: no carrier, not running.
    ASSERT_TRUE(NetNamespace::Ip("-n " + alone.Name() + " link add kvc type veth peer name kvd"));
    ASSERT_TRUE(NetNamespace::Ip("-n " + alone.Name() + " addr add 10.232.0.1/24 dev kvc"));
    ASSERT_TRUE(NetNamespace::Ip("-n " + alone.Name() + " link set kvc up"));
    uint32_t noCarrier = 1;
    ASSERT_TRUE(alone.Run([&] { noCarrier = FirstActiveIPv4Address(); }));
    EXPECT_EQ(0u, noCarrier);
}

TEST_F(MulticastInNamespaces, JoinWithoutRouteFailsAsNoRouteToHost) {
    NetNamespace alone("d");
    ASSERT_TRUE(alone.Created());
    int result = 0, error = 0;
    ip_mreq request{};
    ASSERT_TRUE(alone.Run([&] {
        const SocketHandle s = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
        request.imr_multiaddr.s_addr = htonl(0xEFFF4B10);
        result = JoinGroupWithFallback(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
        error = LastSocketError();
        SocketClose(s);
    }));
    EXPECT_EQ(-1, result);
    EXPECT_STREQ("WSAEHOSTUNREACH - No route to host.", SocketErrorText(error));
    EXPECT_EQ(0u, request.imr_interface.s_addr);  // no interface to fall back on
}

TEST_F(MulticastInNamespaces, JoinFallsBackToTheFirstActiveInterface) {
    int plain = 0, fallback = -1;
    ip_mreq request{};
    ASSERT_TRUE(a_->Run([&] {
        request.imr_multiaddr.s_addr = htonl(0xEFFF4B11);
        const SocketHandle s = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
        // The same request made directly fails: there is no route to the group.
        ip_mreq direct = request;
        plain = SocketSetOption(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &direct, sizeof direct);
        fallback = JoinGroupWithFallback(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
        SocketClose(s);
    }));
    EXPECT_EQ(-1, plain);
    EXPECT_EQ(0, fallback);
    EXPECT_EQ(htonl(kAddressA), request.imr_interface.s_addr);  // written back for the caller
}

TEST_F(MulticastInNamespaces, ReceiverWithoutInterfaceJoinsThroughTheFallback) {
    const NetAddress group = MakeIPv4Address(0xEFFF4B12, 5500);
    ReceivedData got;
    RtpReceiver r(RtpMode::Auto);
    bool opened = false;
    ASSERT_TRUE(a_->Run([&] {
        opened = r.Open(group, nullptr) && r.Start(&got, ReceivedData::OnData) != kNoThread;
    }));
    ASSERT_TRUE(opened) << SocketErrorText(LastSocketError());

    const std::vector<Bytes> sent = {Pattern(1316, 4), Pattern(188, 5)};
    ASSERT_TRUE(b_->Run([&] {
        GroupSender sender = GroupSender::IPv4(kAddressB);
        for (const Bytes& d : sent) EXPECT_EQ(static_cast<int>(d.size()), sender.Send(group, d));
    }));
    EXPECT_TRUE(got.WaitForDatagrams(sent.size(), 2s));
    r.Stop();
    EXPECT_EQ(sent, got.Datagrams());
}

TEST_F(MulticastInNamespaces, StatusChannelOpenJoinsAndStartsAtOnce) {
    const NetAddress group = MakeIPv4Address(0xEFFF4B13, 5501);
    ReceivedData got;
    DatagramReceiver r;
    r.SetCallbacks(&got, ReceivedData::OnData, nullptr);
    intptr_t thread = kNoThread;
    ASSERT_TRUE(a_->Run([&] { thread = r.OpenAndStart(group); }));
    ASSERT_NE(kNoThread, thread) << SocketErrorText(LastSocketError());
    const Bytes rtcp = {0x80, 33, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x47, 0x00};
    ASSERT_TRUE(b_->Run([&] { EXPECT_EQ(14, GroupSender::IPv4(kAddressB).Send(group, rtcp)); }));
    EXPECT_TRUE(got.WaitForDatagrams(1, 2s));
    r.Stop();
    EXPECT_EQ((std::vector<Bytes>{{0x47, 0x00}}), got.Datagrams());
}

TEST_F(MulticastInNamespaces, IPv6GroupOverTheLink) {
    const uint8_t groupBytes[16] = {0xff, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4b, 0x01};
    const NetAddress group = MakeIPv6Address(groupBytes, 5502);
    ReceivedData got;
    RtpReceiver r(RtpMode::Raw);
    bool opened = false;
    ASSERT_TRUE(a_->Run([&] {
        opened = r.Open(group, nullptr) && r.Start(&got, ReceivedData::OnData) != kNoThread;
    }));
    ASSERT_TRUE(opened) << SocketErrorText(LastSocketError());

    const Bytes sent = Pattern(1316, 6);
    ASSERT_TRUE(b_->Run([&] {
        EXPECT_EQ(1316, GroupSender::IPv6(if_nametoindex("kvb")).Send(group, sent)) << SocketErrorText(LastSocketError());
    }));
    EXPECT_TRUE(got.WaitForDatagrams(1, 2s));
    r.Stop();
    EXPECT_EQ((std::vector<Bytes>{sent}), got.Datagrams());
}

}  // namespace
