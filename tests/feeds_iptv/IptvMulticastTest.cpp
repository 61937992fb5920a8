// Multicast reception that never leaves this machine: over loopback with the sender
// pinned to it, or between two private network namespaces joined by a veth pair.
#include <net/if.h>

#include <gtest/gtest.h>

#include "feeds/iptv/IPTVFeed.h"
#include "tests/feeds_iptv/IptvTestSupport.h"

namespace {

using namespace iptvtest;

TEST(IptvMulticastOverLoopback, EachFeedGetsItsOwnGroupByteExact) {
    // The first feed's port, as the system chose it, serves both groups.
    NetAddress groupA = MakeIPv4Address(0xEFFF4D02, 0), groupB = MakeIPv4Address(0xEFFF4D03, 0);
    Recorder gotA, gotB;
    CIPTVFeed a(0), b(0);
    for (auto [feed, group, got] : {std::tuple{&a, &groupA, &gotA}, std::tuple{&b, &groupB, &gotB}}) {
        SetNetAddressPort(*group, NetAddressPort(groupA));
        feed->SetGroup(*group);
        feed->SetInterface(MakeIPv4Address(INADDR_LOOPBACK, 0));
        feed->SetCallback(got, Recorder::Callback);
        ASSERT_TRUE(feed->Start(0)) << feed->GetErrorText();
        SetNetAddressPort(*group, feed->LocalPort());
    }
    Sender sender(kNetFamilyIPv4);
    ASSERT_TRUE(sender.PinIPv4(INADDR_LOOPBACK));
    sender.Send(groupA, Packets(7, 0xA));
    sender.Send(groupB, Rtp(3, Packets(1, 0xB)));
    sender.Send(groupA, Rtp(1, Packets(2, 0xA)));
    ASSERT_TRUE(gotA.WaitForBytes(9 * 188));
    ASSERT_TRUE(gotB.WaitForBytes(188));
    a.Stop();
    b.Stop();
    EXPECT_EQ(Recorder::Join({Packets(7, 0xA), Packets(2, 0xA)}), gotA.Joined());
    EXPECT_EQ(Packets(1, 0xB), gotB.Joined());
}

// Namespace A receives on "kia" (10.232.0.1, fd01::1); namespace B sends from "kib"
// (10.232.0.2 and .3, fd01::2 and ::3). Neither has a route to any group.
class IptvInNamespaces : public ::testing::Test {
protected:
    static constexpr uint32_t kA = 0x0AE80001, kB = 0x0AE80002, kOtherB = 0x0AE80003;

    static void SetUpTestSuite() {
        a_ = new NetNamespace("a");
        b_ = new NetNamespace("b");
        linked_ = a_->Created() && b_->Created() && a_->In("link add kia type veth peer name kib netns " + b_->Name()) &&
                  a_->In("addr add 10.232.0.1/24 dev kia") && a_->In("addr add fd01::1/64 dev kia nodad") &&
                  b_->In("addr add 10.232.0.2/24 dev kib") && b_->In("addr add 10.232.0.3/24 dev kib") &&
                  b_->In("addr add fd01::2/64 dev kib nodad") && b_->In("addr add fd01::3/64 dev kib nodad") &&
                  a_->In("link set kia up") && b_->In("link set kib up");
        // The link reports itself running a moment after both ends are up.
        linked_ = linked_ && WaitUntil([] {
                      bool upA = false, upB = false;
                      a_->Run([&] { upA = FirstActiveIPv4Address() == kA; });
                      b_->Run([&] { upB = FirstActiveIPv4Address() == kB; });
                      return upA && upB;
                  }, 3s);
    }
    static void TearDownTestSuite() {
        delete a_;
        delete b_;
    }
    void SetUp() override {
        if (!linked_) GTEST_SKIP() << "two network namespaces joined by a veth pair cannot be set up here (needs root)";
    }

    static bool StartInA(CIPTVFeed& feed, Recorder& got) {
        feed.SetCallback(&got, Recorder::Callback);
        bool started = false;
        EXPECT_TRUE(a_->Run([&] { started = feed.Start(0); }));
        return started;
    }
    static void SendFromB(const NetAddress& from, const NetAddress& to, const Bytes& d) {
        ASSERT_TRUE(b_->Run([&] {
            Sender sender(from.family);
            ASSERT_TRUE(sender.BindTo(from));
            ASSERT_TRUE(from.family == kNetFamilyIPv4 ? sender.PinIPv4(NetAddressIPv4(from))
                                                      : sender.PinIPv6(if_nametoindex("kib")));
            EXPECT_EQ(static_cast<int>(d.size()), sender.Send(to, d));
        }));
    }
    // A source-specific feed and an any-source one on the same group: only the latter
    // also takes what the other sender sends.
    static void ExpectOnlyTheSource(const NetAddress& group, const NetAddress& iface, const NetAddress& source,
                                    const NetAddress& other) {
        Recorder fromSource, fromAnyone;
        CIPTVFeed ssm(0), anySource(0);
        for (CIPTVFeed* feed : {&ssm, &anySource}) {
            feed->SetGroup(group);
            feed->SetInterface(iface);
        }
        ssm.SetSource(source);
        ASSERT_TRUE(StartInA(ssm, fromSource)) << ssm.GetErrorText();
        ASSERT_TRUE(StartInA(anySource, fromAnyone)) << anySource.GetErrorText();
        SendFromB(other, group, Packets(1, 0x33));
        SendFromB(source, group, Packets(1, 0x22));
        ASSERT_TRUE(fromAnyone.WaitForBytes(2 * 188));
        ASSERT_TRUE(fromSource.WaitForBytes(188));
        ssm.Stop();
        EXPECT_EQ(Packets(1, 0x22), fromSource.Joined());
    }

    static inline NetNamespace* a_ = nullptr;
    static inline NetNamespace* b_ = nullptr;
    static inline bool linked_ = false;
};

// Any-source groups, and a unicast address of this computer, which passes the check.
TEST_F(IptvInNamespaces, GroupsOnTheChosenInterfaceOrThroughTheFallbackAndLocalUnicast) {
    const NetAddress kAnyV4 = MakeIPv4Address(0, 0), kAV4 = MakeIPv4Address(kA, 0), kBV4 = MakeIPv4Address(kB, 0);
    const struct {
        NetAddress group, iface, from;
    } cases[] = {{MakeIPv4Address(0xEFFF4D10, 5600), kAV4, kBV4},
                 {MakeIPv4Address(0xEFFF4D11, 5600), kAnyV4, kBV4},
                 {V6(0xff, 0x15, 0x01, 5603), V6(0xfd, 0x01, 0x01, 0), V6(0xfd, 0x01, 0x02, 0)},
                 {MakeIPv4Address(kA, 5605), kAnyV4, kBV4}};
    for (const auto& c : cases) {
        Recorder got;
        CIPTVFeed feed(0);
        feed.SetGroup(c.group);
        feed.SetInterface(c.iface);
        ASSERT_TRUE(StartInA(feed, got)) << feed.GetErrorText();
        SendFromB(c.from, c.group, Packets(7, 1));
        SendFromB(c.from, c.group, Rtp(1, Packets(3, 2)));
        ASSERT_TRUE(got.WaitForBytes(10 * 188));
        EXPECT_EQ(Recorder::Join({Packets(7, 1), Packets(3, 2)}), got.Joined());
        EXPECT_TRUE(WaitUntil([&] { return feed.GetStatus() == 0xFF; }));
    }
}

TEST_F(IptvInNamespaces, SourceSpecificTakesOnlyItsSource) {
    ExpectOnlyTheSource(MakeIPv4Address(0xE8010101, 5602), MakeIPv4Address(kA, 0), MakeIPv4Address(kB, 0),
                        MakeIPv4Address(kOtherB, 0));
    ExpectOnlyTheSource(V6(0xff, 0x35, 0x02, 5604), V6(0xfd, 0x01, 0x01, 0), V6(0xfd, 0x01, 0x02, 0),
                        V6(0xfd, 0x01, 0x03, 0));
}

TEST_F(IptvInNamespaces, JoinFailuresAreReportedWithTheirCause) {
    CIPTVFeed feed(0);
    Recorder got;
    feed.SetGroup(V6(0xff, 0x15, 0x03, 5606));
    feed.SetInterface(V6(0xfd, 0x01, 0x99, 0));  // nobody's
    EXPECT_FALSE(StartInA(feed, got));
    EXPECT_STREQ("The multicast interface address is not an address of this computer.", feed.GetErrorText());

    feed.SetGroup(MakeIPv4Address(0xE8010102, 5606));
    feed.SetInterface(MakeIPv4Address(kA, 0));
    feed.SetSource(V6(0xfd, 0x01, 0x02, 0));
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
