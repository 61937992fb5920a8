// The SSDP client on real sockets, only inside a network namespace of the test's own:
// the search it sends, answers and announcements reaching the cache, restarts.
#include <net/if.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "net/SsdpClient.h"
#include "net/SystemUserAgent.h"
#include "tests/net/FakeSsdpDevice.h"
#include "tests/support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kType = "urn:ses-com:device:SatIPServer:1";
const std::string kUsn = "uuid:11223344-5566-7788-99aa-bbccddeeff00::urn:ses-com:device:SatIPServer:1";
const std::string kLocation = "http://10.232.0.1:8080/desc.xml";

std::vector<std::string> CachedUsns(const SsdpClient& client) {
    std::vector<std::string> usns;
    client.ForEachCacheEntry([&](size_t, const SsdpCacheEntry& e) { usns.push_back(e.usn); });
    return usns;
}

class SsdpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!space_.Ready()) GTEST_SKIP() << "no network namespace here (needs root and ip)";
    }
    // The test body, inside the namespace.
    void Inside(const std::function<void()>& work) { ASSERT_TRUE(space_.Run(work)); }

    SsdpNamespace space_{"ssdp"};
};

TEST_F(SsdpClientTest, SearchTextAndTheAnswerInTheCache) {
    Inside([] {
        FakeSsdpDevice device(SsdpNamespace::kAddress, kUsn, kLocation);
        ASSERT_TRUE(device.Ok());
        SsdpClient client(SystemUserAgent());
        ASSERT_TRUE(client.Start(nullptr));
        const NetAddress group = MakeIPv4Address(SsdpClient::kGroupIPv4, SsdpClient::kPort);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(client.Search(kType, &group, 2, 3));
        // Three copies, 100 ms apart.
        EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);
        ASSERT_TRUE(WaitUntil([&] { return device.Searches().size() == 3; }));
        const std::string expected = "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
                                     "MX: 2\r\nST: urn:ses-com:device:SatIPServer:1\r\nUSER-AGENT: " +
                                     SystemUserAgent() + "\r\n\r\n";
        for (const FakeSsdpDevice::Heard& heard : device.Searches()) {
            EXPECT_EQ(expected, heard.text);
            // Searches leave from the search socket, not from the group port.
            EXPECT_EQ(client.SearchAddress(kNetFamilyIPv4).port, heard.sender.port);
        }
        ASSERT_TRUE(WaitUntil([&] { return client.CacheSize() == 1; }));
        client.ForEachCacheEntry([&](size_t index, const SsdpCacheEntry& e) {
            EXPECT_EQ(0u, index);
            EXPECT_EQ(kUsn, e.usn);
            EXPECT_EQ(kLocation, e.location);
            EXPECT_EQ(kType, e.type);
            EXPECT_EQ(1800u, e.maxAge);
            EXPECT_EQ(MakeIPv4Address(SsdpNamespace::kAddress, SsdpClient::kPort), e.sender);
        });
    });
}

TEST_F(SsdpClientTest, AnnouncementsAndGoodbyes) {
    Inside([] {
        FakeSsdpDevice device(SsdpNamespace::kAddress, kUsn, kLocation);
        SsdpClient client("ua");
        ASSERT_TRUE(client.Start(nullptr));
        ASSERT_TRUE(device.Notify("ssdp:alive"));
        ASSERT_TRUE(device.Notify("ssdp:alive", "uuid:other"));
        ASSERT_TRUE(WaitUntil([&] { return client.CacheSize() == 2; }));
        // An empty datagram must not silence the listener.
        ASSERT_TRUE(device.SendToGroup(""));
        ASSERT_TRUE(device.Notify("ssdp:byebye"));
        ASSERT_TRUE(WaitUntil([&] { return client.CacheSize() == 1; }));
        EXPECT_EQ((std::vector<std::string>{"uuid:other"}), CachedUsns(client));
        ASSERT_TRUE(device.Notify("ssdp:byebye", "uuid:unknown"));
        ASSERT_TRUE(device.Notify("ssdp:alive", "uuid:third"));
        ASSERT_TRUE(WaitUntil([&] { return client.CacheSize() == 2; }));
        EXPECT_EQ((std::vector<std::string>{"uuid:other", "uuid:third"}), CachedUsns(client));
    });
}

TEST_F(SsdpClientTest, StopKeepsTheCacheAndStartsAgain) {
    Inside([] {
        FakeSsdpDevice device(SsdpNamespace::kAddress, kUsn, kLocation);
        SsdpClient client("ua");
        EXPECT_FALSE(client.Search(kType, nullptr, 2, 1));  // nothing to send from
        for (int round = 0; round < 3; ++round) {
            ASSERT_TRUE(client.Start(nullptr)) << round;
            ASSERT_TRUE(client.Start(nullptr)) << "a running client stays as it is";
            ASSERT_TRUE(device.Notify("ssdp:alive", "uuid:" + std::to_string(round)));
            ASSERT_TRUE(WaitUntil([&] { return client.CacheSize() == static_cast<size_t>(round + 1); }));
            client.Stop();
            EXPECT_EQ(NetAddress{}, client.SearchAddress(kNetFamilyIPv4));
        }
        // Stopped: nothing more arrives.
        ASSERT_TRUE(device.Notify("ssdp:alive", "uuid:late"));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(3u, client.CacheSize());
    });
}

TEST_F(SsdpClientTest, BothFamiliesWithoutAnAddress) {
    Inside([] {
        SsdpClient client("ua");
        ASSERT_TRUE(client.Start(nullptr));
        EXPECT_EQ(kNetFamilyIPv4, client.SearchAddress(kNetFamilyIPv4).family);
        EXPECT_EQ(kNetFamilyIPv6, client.SearchAddress(kNetFamilyIPv6).family);
        // Searching without a destination goes to both groups.
        EXPECT_TRUE(client.Search(kType, nullptr, 1, 1));

        // An announcement on the IPv6 group.
        const SocketHandle sender = SocketCreate(kNetFamilyIPv6, SOCK_DGRAM);
        const unsigned index = if_nametoindex("ksa");
        ASSERT_EQ(0, SocketSetOption(sender, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index));
        const std::string notify = "NOTIFY * HTTP/1.1\r\nNTS: ssdp:alive\r\nUSN: uuid:v6\r\nLOCATION: http://[fd04::1]/\r\n\r\n";
        const NetAddress group6 = MakeIPv6Address(SsdpClient::kGroupIPv6, SsdpClient::kPort);
        EXPECT_EQ(static_cast<int>(notify.size()), SocketSendTo(sender, notify.data(), static_cast<int>(notify.size()), group6));
        SocketClose(sender);
        ASSERT_TRUE(WaitUntil([&] { return client.CacheSize() == 1; }));
        client.ForEachCacheEntry([](size_t, const SsdpCacheEntry& e) {
            EXPECT_EQ("http://[fd04::1]/", e.location);
            EXPECT_EQ(kNetFamilyIPv6, e.sender.family);
        });
    });
}

TEST_F(SsdpClientTest, OneFamilyAtAGivenAddress) {
    Inside([] {
        FakeSsdpDevice device(SsdpNamespace::kAddress, kUsn, kLocation);
        SsdpClient client("ua");
        const NetAddress local = MakeIPv4Address(SsdpNamespace::kAddress, 0);
        ASSERT_TRUE(client.Start(&local));
        EXPECT_EQ(MakeIPv4Address(SsdpNamespace::kAddress, 0).address[0], client.SearchAddress(kNetFamilyIPv4).address[0]);
        EXPECT_EQ(0, client.SearchAddress(kNetFamilyIPv6).family);
        const NetAddress group = MakeIPv4Address(SsdpClient::kGroupIPv4, SsdpClient::kPort);
        ASSERT_TRUE(client.Search(kType, &group, 2, 1));
        ASSERT_TRUE(WaitUntil([&] { return client.CacheSize() == 1; }));
        const NetAddress nowhere{};
        EXPECT_FALSE(client.Start(&nowhere));
    });
}

}  // namespace
