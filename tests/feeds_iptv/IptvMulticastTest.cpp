// Multicast reception that never leaves this machine: over loopback with the sender
// pinned to it, or between two private network namespaces joined by a veth pair.
#include <ifaddrs.h>
#include <net/if.h>

#include <gtest/gtest.h>

#include <memory>

#include "feeds/iptv/IPTVFeed.h"
#include "tests/feeds_iptv/IptvTestSupport.h"

namespace {

using namespace iptvtest;

NetAddress IPv6(std::initializer_list<uint8_t> tail, uint16_t port, uint8_t first = 0xfd, uint8_t second = 0x01) {
    uint8_t bytes[16] = {first, second};
    size_t at = 16 - tail.size();
    for (uint8_t b : tail) bytes[at++] = b;
    return MakeIPv6Address(bytes, port);
}

TEST(IptvMulticastOverLoopback, GroupArrivesByteExactPlainAndRtp) {
    const uint16_t port = FreeUdpPort();
    const NetAddress group = MakeIPv4Address(0xEFFF4D01, port);  // 239.255.77.1
    Recorder got;
    CIPTVFeed feed(0);
    feed.SetGroup(group);
    feed.SetInterface(MakeIPv4Address(INADDR_LOOPBACK, 0));
    feed.SetCallback(&got, Recorder::Callback);
    ASSERT_TRUE(feed.Start(0)) << feed.GetErrorText();

    Sender sender(kNetFamilyIPv4);
    ASSERT_TRUE(sender.PinIPv4Multicast(INADDR_LOOPBACK));
    ASSERT_EQ(1316, sender.Send(group, Packets(7, 1)));
    ASSERT_EQ(188 + 12, sender.Send(group, Rtp(7, Packets(1, 2))));
    ASSERT_TRUE(got.WaitForSamples(2));
    EXPECT_EQ((std::vector<Bytes>{Packets(7, 1), Packets(1, 2)}), got.Samples());
}

TEST(IptvMulticastOverLoopback, FeedsOnOnePortGetOnlyTheirOwnGroup) {
    const uint16_t port = FreeUdpPort();
    const NetAddress groupA = MakeIPv4Address(0xEFFF4D02, port), groupB = MakeIPv4Address(0xEFFF4D03, port);
    Recorder gotA, gotB;
    CIPTVFeed a(0), b(0);
    for (auto [feed, group, got] : {std::tuple{&a, groupA, &gotA}, std::tuple{&b, groupB, &gotB}}) {
        feed->SetGroup(group);
        feed->SetInterface(MakeIPv4Address(INADDR_LOOPBACK, 0));
        feed->SetCallback(got, Recorder::Callback);
        ASSERT_TRUE(feed->Start(0)) << feed->GetErrorText();
    }
    Sender sender(kNetFamilyIPv4);
    ASSERT_TRUE(sender.PinIPv4Multicast(INADDR_LOOPBACK));
    sender.Send(groupA, Packets(1, 0xA));
    sender.Send(groupB, Packets(1, 0xB));
    sender.Send(groupA, Packets(2, 0xA));
    ASSERT_TRUE(gotA.WaitForSamples(2));
    ASSERT_TRUE(gotB.WaitForSamples(1));
    a.Stop();
    b.Stop();
    EXPECT_EQ((std::vector<Bytes>{Packets(1, 0xA), Packets(2, 0xA)}), gotA.Samples());
    EXPECT_EQ((std::vector<Bytes>{Packets(1, 0xB)}), gotB.Samples());
}

// Namespace A receives on "kia" (10.232.0.1, fd01::1); namespace B sends from "kib"
// (10.232.0.2 and .3, fd01::2 and ::3). Neither has a route to any group.
class IptvMulticastInNamespaces : public ::testing::Test {
protected:
    static constexpr uint32_t kAddressA = 0x0AE80001;
    static constexpr uint32_t kAddressB = 0x0AE80002;
    static constexpr uint32_t kOtherB = 0x0AE80003;

    static void SetUpTestSuite() {
        a_ = new NetNamespace("a");
        b_ = new NetNamespace("b");
        if (!a_->Created() || !b_->Created()) return;
        const std::string a = "-n " + a_->Name() + " ", b = "-n " + b_->Name() + " ";
        linked_ = NetNamespace::Ip(a + "link add kia type veth peer name kib netns " + b_->Name()) &&
                  NetNamespace::Ip(a + "addr add 10.232.0.1/24 dev kia") &&
                  NetNamespace::Ip(a + "addr add fd01::1/64 dev kia nodad") &&
                  NetNamespace::Ip(b + "addr add 10.232.0.2/24 dev kib") &&
                  NetNamespace::Ip(b + "addr add 10.232.0.3/24 dev kib") &&
                  NetNamespace::Ip(b + "addr add fd01::2/64 dev kib nodad") &&
                  NetNamespace::Ip(b + "addr add fd01::3/64 dev kib nodad") &&
                  NetNamespace::Ip(a + "link set kia up") && NetNamespace::Ip(b + "link set kib up");
        if (!linked_) return;
        // The link reports itself running a moment after both ends are up.
        linked_ = Eventually([] {
            bool upA = false, upB = false;
            a_->Run([&] { upA = FirstActiveIPv4Address() == kAddressA; });
            b_->Run([&] { upB = FirstActiveIPv4Address() == kAddressB; });
            return upA && upB;
        }, 3s);
    }
    static void TearDownTestSuite() {
        delete a_;
        delete b_;
        a_ = b_ = nullptr;
    }
    void SetUp() override {
        if (!a_->Created() || !b_->Created()) GTEST_SKIP() << "network namespaces cannot be created here (needs root)";
        if (!linked_) GTEST_SKIP() << "a veth pair between two network namespaces cannot be set up here";
    }

    // Starts a feed inside A.
    static bool StartInA(CIPTVFeed& feed, Recorder& got) {
        feed.SetCallback(&got, Recorder::Callback);
        bool started = false;
        EXPECT_TRUE(a_->Run([&] { started = feed.Start(0); }));
        return started;
    }
    // Sends from B, from the given source address, out of kib.
    static void SendFromB(const NetAddress& from, const NetAddress& to, const Bytes& d) {
        ASSERT_TRUE(b_->Run([&] {
            Sender sender(from.family);
            ASSERT_TRUE(sender.BindTo(from));
            if (from.family == kNetFamilyIPv4) {
                ASSERT_TRUE(sender.PinIPv4Multicast(NetAddressIPv4(from)));
            } else {
                ASSERT_TRUE(sender.PinIPv6Multicast(if_nametoindex("kib")));
            }
            EXPECT_EQ(static_cast<int>(d.size()), sender.Send(to, d));
        }));
    }

    static NetAddress B4(uint32_t address) { return MakeIPv4Address(address, 0); }

    static NetNamespace* a_;
    static NetNamespace* b_;
    static bool linked_;
};

NetNamespace* IptvMulticastInNamespaces::a_ = nullptr;
NetNamespace* IptvMulticastInNamespaces::b_ = nullptr;
bool IptvMulticastInNamespaces::linked_ = false;

TEST_F(IptvMulticastInNamespaces, IPv4GroupOnTheChosenInterface) {
    const NetAddress group = MakeIPv4Address(0xEFFF4D10, 5600);
    Recorder got;
    CIPTVFeed feed(0);
    feed.SetGroup(group);
    feed.SetInterface(MakeIPv4Address(kAddressA, 0));
    ASSERT_TRUE(StartInA(feed, got)) << feed.GetErrorText();
    SendFromB(B4(kAddressB), group, Packets(7, 1));
    SendFromB(B4(kAddressB), group, Rtp(1, Packets(7, 2)));
    ASSERT_TRUE(got.WaitForSamples(2));
    EXPECT_EQ((std::vector<Bytes>{Packets(7, 1), Packets(7, 2)}), got.Samples());
    EXPECT_TRUE(Eventually([&] { return feed.GetStatus() == 0xFF; }));
}

TEST_F(IptvMulticastInNamespaces, IPv4GroupWithoutInterfaceJoinsThroughTheFallback) {
    const NetAddress group = MakeIPv4Address(0xEFFF4D11, 5601);
    Recorder got;
    CIPTVFeed feed(0);
    feed.SetGroup(group);  // the interface stays 0.0.0.0
    ASSERT_TRUE(StartInA(feed, got)) << feed.GetErrorText();
    SendFromB(B4(kAddressB), group, Packets(3, 3));
    ASSERT_TRUE(got.WaitForSamples(1));
    EXPECT_EQ(std::vector<Bytes>{Packets(3, 3)}, got.Samples());
}

TEST_F(IptvMulticastInNamespaces, IPv4SourceSpecificTakesOnlyItsSource) {
    const NetAddress group = MakeIPv4Address(0xE8010101, 5602);  // 232.1.1.1
    Recorder fromB, fromAnyone;
    CIPTVFeed ssm(0), anySource(0);
    ssm.SetGroup(group);
    ssm.SetInterface(MakeIPv4Address(kAddressA, 0));
    ssm.SetSource(MakeIPv4Address(kAddressB, 0));
    anySource.SetGroup(group);
    anySource.SetInterface(MakeIPv4Address(kAddressA, 0));
    ASSERT_TRUE(StartInA(ssm, fromB)) << ssm.GetErrorText();
    ASSERT_TRUE(StartInA(anySource, fromAnyone)) << anySource.GetErrorText();

    SendFromB(B4(kOtherB), group, Packets(1, 0x33));
    SendFromB(B4(kAddressB), group, Packets(1, 0x22));
    ASSERT_TRUE(fromAnyone.WaitForSamples(2));  // both reached A
    ASSERT_TRUE(fromB.WaitForSamples(1));
    ssm.Stop();
    EXPECT_EQ(std::vector<Bytes>{Packets(1, 0x22)}, fromB.Samples());
}

TEST_F(IptvMulticastInNamespaces, IPv6GroupIsJoinedOnTheInterfaceOfItsAddress) {
    const NetAddress group = IPv6({0x4d, 0x01}, 5603, 0xff, 0x15);
    Recorder got;
    CIPTVFeed feed(0);
    feed.SetGroup(group);
    feed.SetInterface(IPv6({0x01}, 0));  // fd01::1 on kia
    ASSERT_TRUE(StartInA(feed, got)) << feed.GetErrorText();
    SendFromB(IPv6({0x02}, 0), group, Packets(7, 4));
    SendFromB(IPv6({0x02}, 0), group, Rtp(9, Packets(2, 5)));
    ASSERT_TRUE(got.WaitForSamples(2));
    EXPECT_EQ((std::vector<Bytes>{Packets(7, 4), Packets(2, 5)}), got.Samples());
}

TEST_F(IptvMulticastInNamespaces, IPv6SourceSpecificTakesOnlyItsSource) {
    const NetAddress group = IPv6({0x4d, 0x02}, 5604, 0xff, 0x35);
    Recorder fromB, fromAnyone;
    CIPTVFeed ssm(0), anySource(0);
    for (CIPTVFeed* feed : {&ssm, &anySource}) {
        feed->SetGroup(group);
        feed->SetInterface(IPv6({0x01}, 0));
    }
    ssm.SetSource(IPv6({0x02}, 0));
    ASSERT_TRUE(StartInA(ssm, fromB)) << ssm.GetErrorText();
    ASSERT_TRUE(StartInA(anySource, fromAnyone)) << anySource.GetErrorText();
    SendFromB(IPv6({0x03}, 0), group, Packets(1, 0x33));
    SendFromB(IPv6({0x02}, 0), group, Packets(1, 0x22));
    ASSERT_TRUE(fromAnyone.WaitForSamples(2));
    ASSERT_TRUE(fromB.WaitForSamples(1));
    ssm.Stop();
    EXPECT_EQ(std::vector<Bytes>{Packets(1, 0x22)}, fromB.Samples());
}

TEST_F(IptvMulticastInNamespaces, UnicastToAnAddressOfThisComputerPassesTheCheck) {
    const NetAddress local = MakeIPv4Address(kAddressA, 5605);
    Recorder got;
    CIPTVFeed feed(0);
    feed.SetGroup(local);
    ASSERT_TRUE(StartInA(feed, got)) << feed.GetErrorText();
    SendFromB(B4(kAddressB), local, Packets(2, 6));
    ASSERT_TRUE(got.WaitForSamples(1));
    EXPECT_EQ(std::vector<Bytes>{Packets(2, 6)}, got.Samples());
}

TEST_F(IptvMulticastInNamespaces, JoinFailuresAreReportedWithTheirCause) {
    CIPTVFeed feed(0);
    Recorder got;
    feed.SetGroup(IPv6({0x4d, 0x03}, 5606, 0xff, 0x15));
    feed.SetInterface(IPv6({0x99}, 0));  // fd01::99 is nobody's
    EXPECT_FALSE(StartInA(feed, got));
    EXPECT_STREQ("The multicast interface address is not an address of this computer.", feed.GetErrorText());

    feed.SetGroup(MakeIPv4Address(0xE8010102, 5606));
    feed.SetInterface(MakeIPv4Address(kAddressA, 0));
    feed.SetSource(IPv6({0x02}, 0));
    EXPECT_FALSE(StartInA(feed, got));
    EXPECT_STREQ("The multicast source address is not of the group's address family.", feed.GetErrorText());

    NetNamespace alone("c");  // loopback only: no interface reaches a group
    ASSERT_TRUE(alone.Created());
    feed.ClearSource();
    feed.SetInterface(MakeIPv4Address(0, 0));
    EXPECT_TRUE(alone.Run([&] { EXPECT_FALSE(feed.Start(0)); }));
    EXPECT_STREQ(
        "The operation setsockopt(IP_ADD_MEMBERSHIP) failed with the error code 10065 - WSAEHOSTUNREACH - No route "
        "to host.",
        feed.GetErrorText());
}

}  // namespace
