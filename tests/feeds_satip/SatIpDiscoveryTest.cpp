// Discovery end to end inside a private network namespace: fake servers answer the
// search and serve their descriptions, the list follows them, goodbyes remove them.
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "feeds/satip/SatIpCapabilities.h"
#include "feeds/satip/SatIpDiscovery.h"
#include "tests/net/FakeSsdpDevice.h"
#include "tests/support/ScriptedTcpServer.h"
#include "tests/support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;
using Reply = ScriptedTcpServer::Reply;

const SatIpDiscovery::Timing kQuick{.roundMs = 5, .checkMs = 30, .searchMx = 1, .searchRepeat = 1};

std::string DescriptionReply(const std::string& children) {
    const std::string body = "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>" + children +
                             "</device></root>";
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string UrlOf(const ScriptedTcpServer& server) {
    std::string address;
    FormatNetAddress(server.Address(), address, true);
    return "http://" + address + "/desc.xml";
}

std::vector<SatIpServer> Servers(SatIpDiscovery& discovery) {
    std::vector<SatIpServer> servers;
    if (!discovery.Servers().Snapshot(servers)) servers.clear();
    return servers;
}

class SatIpDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!space_.Ready()) GTEST_SKIP() << "no network namespace here (needs root and ip)";
    }
    void Inside(const std::function<void()>& work) { ASSERT_TRUE(space_.Run(work)); }
    SsdpNamespace space_{"disc"};
};

TEST_F(SatIpDiscoveryTest, FoundDescribedListedAndGone) {
    Inside([] {
        ScriptedTcpServer http([](const std::string&, int) {
            return Reply{DescriptionReply("<friendlyName>Octopus NET</friendlyName>"
                                          "<satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">DVBS2-2,DVBC-1</satip:X_SATIPCAP>"),
                         true};
        });
        const std::string usn = "uuid:aaaa::urn:ses-com:device:SatIPServer:1";
        FakeSsdpDevice device(SsdpNamespace::kAddress, usn, UrlOf(http));
        ASSERT_TRUE(device.Ok());

        SatIpDiscovery discovery("Linux/6.1 UPnP/1.1 VelmarSSDP/1.0", kQuick);
        EXPECT_EQ(10, discovery.TypeCode());
        ASSERT_TRUE(discovery.Start());
        ASSERT_TRUE(discovery.StartSsdpAndSearch());
        ASSERT_TRUE(WaitUntil([&] { return Servers(discovery).size() == 1; }));
        const SatIpServer server = Servers(discovery)[0];
        EXPECT_EQ("Octopus NET", server.name);
        EXPECT_EQ(kSatIpCapDvbS2 | kSatIpCapDvbC, server.capabilities);
        EXPECT_EQ(SatIpServerKey(UrlOf(http), usn), server.key);
        EXPECT_EQ(MakeIPv4Address(SsdpNamespace::kAddress, 1900), server.address);
        EXPECT_EQ(7, discovery.TypeCode());
        EXPECT_TRUE(discovery.Servers().Contains(server.key));
        // The description was fetched with the user agent, once for the one rebuild.
        ASSERT_EQ(1u, http.Requests().size());
        EXPECT_NE(std::string::npos, http.Requests()[0].find("User-Agent: Linux/6.1 UPnP/1.1 VelmarSSDP/1.0\r\n"));
        const uint32_t generation = discovery.Servers().Generation();
        EXPECT_GE(generation, 1u);

        // Nothing changes while nothing is heard: no further rebuild.
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(generation, discovery.Servers().Generation());
        EXPECT_EQ(1u, http.Requests().size());

        // A goodbye removes it (sent again until heard: the sockets close while a rebuild runs).
        ASSERT_TRUE(WaitUntil([&] {
            device.Notify("ssdp:byebye");
            return Servers(discovery).empty() && discovery.Servers().Generation() > generation;
        }));
        EXPECT_FALSE(discovery.Servers().Contains(server.key));
        discovery.Stop();
    });
}

TEST_F(SatIpDiscoveryTest, ServersInArrivalOrderAndOneWithoutDescription) {
    Inside([] {
        ScriptedTcpServer terrestrial([](const std::string&, int) {
            return Reply{DescriptionReply("<friendlyName>Roof T2</friendlyName>"
                                          "<satip:X_SATIPCAP>DVBT-1,DVBT2-2</satip:X_SATIPCAP>"),
                         true};
        });
        ScriptedTcpServer broken([](const std::string&, int) { return Reply{"HTTP/1.1 404 Not Found\r\n\r\n", true}; });
        FakeSsdpDevice device(SsdpNamespace::kAddress, "uuid:t::urn:ses-com:device:SatIPServer:1", UrlOf(terrestrial));
        FakeSsdpDevice other(SsdpNamespace::kAddress, "uuid:b::urn:ses-com:device:SatIPServer:1", UrlOf(broken));
        device.SetAnswering(false);
        other.SetAnswering(false);

        SatIpDiscovery discovery("ua", kQuick);
        ASSERT_TRUE(discovery.Start());
        discovery.StartSsdpAndSearch();
        ASSERT_TRUE(device.Notify("ssdp:alive"));
        ASSERT_TRUE(WaitUntil([&] { return Servers(discovery).size() == 1; }));
        // Other devices and services of the same device are not servers.
        ASSERT_TRUE(device.Notify("ssdp:alive", "uuid:t::upnp:rootdevice"));
        ASSERT_TRUE(WaitUntil([&] {
            other.Notify("ssdp:alive");
            return Servers(discovery).size() == 2;
        }));
        const std::vector<SatIpServer> servers = Servers(discovery);
        EXPECT_EQ("Roof T2", servers[0].name);
        EXPECT_EQ(kSatIpCapDvbT | kSatIpCapDvbT2, servers[0].capabilities);
        EXPECT_EQ("SAT>IP Server \"no name\"", servers[1].name);
        EXPECT_EQ(0u, servers[1].capabilities);
        // The type follows the description fetched last, which failed.
        EXPECT_EQ(10, discovery.TypeCode());
    });
}

TEST_F(SatIpDiscoveryTest, StopEndsPromptlyAndTwice) {
    Inside([] {
        SatIpDiscovery discovery("ua");  // the real timing
        ASSERT_TRUE(discovery.Start());
        EXPECT_TRUE(discovery.Start());
        discovery.StartSsdpAndSearch();
        ASSERT_TRUE(WaitUntil([&] { return discovery.Servers().LockIfReady() && (discovery.Servers().Unlock(), true); }));
        const auto start = std::chrono::steady_clock::now();
        discovery.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
        discovery.Stop();
        EXPECT_EQ(0u, discovery.Servers().Generation());
    });
}

}  // namespace
