// Device descriptions as SAT>IP servers send them, cut, broken or refused, fetched from
// a loopback server; the capabilities and server keys made of them.
#include <string>

#include <gtest/gtest.h>

#include "feeds/satip/SatIpCapabilities.h"
#include "feeds/satip/SatIpServerList.h"
#include "net/DeviceDescription.h"
#include "tests/support/ScriptedTcpServer.h"

namespace {

using Reply = ScriptedTcpServer::Reply;

std::string Description(const std::string& deviceChildren) {
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>1</minor></specVersion><device>"
           "<deviceType>urn:ses-com:device:SatIPServer:1</deviceType>" +
           deviceChildren + "</device></root>";
}

std::string Http(const std::string& status, const std::string& body, const std::string& headers = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/xml\r\n" + headers + "Content-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string UrlOf(const ScriptedTcpServer& server, const std::string& path = "/desc.xml") {
    std::string address;
    FormatNetAddress(server.Address(), address, true);
    return "http://" + address + path;
}

TEST(SatIpCapabilities, TunerCountsMaskAndType) {
    struct Case {
        const char* list;
        uint32_t mask;
        int32_t type;
    };
    const Case cases[] = {
        {"DVBS2-2,DVBT-1", kSatIpCapDvbS2 | kSatIpCapDvbT, 7},
        {"DVBC-1", kSatIpCapDvbC, 2},
        {"DVBT-2", kSatIpCapDvbT, 3},
        {"DVBT2-1", kSatIpCapDvbT2, 8},
        {"DVBT-1,DVBT2-1", kSatIpCapDvbT | kSatIpCapDvbT2, 8},
        {"DVBC2-1,DVBC-2", kSatIpCapDvbC | kSatIpCapDvbC2, 9},
        {"DVBC-1, DVBT-1", kSatIpCapDvbC | kSatIpCapDvbT, 3},
        {"DVBS2-0", 0, 10},
        {"", 0, 10},
        {"ATSC-2,XDVBT-1", 0, 10},
        {"DVBS2-8,DVBT-4,DVBT2-4,DVBC-4,DVBC2-2", kSatIpCapAll, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.mask, SatIpCapabilityMask(c.list)) << c.list;
        EXPECT_EQ(c.type, SatIpTypeCode(SatIpCapabilityMask(c.list))) << c.list;
    }
    EXPECT_EQ(2, SatIpTunerCount("DVBS2-2,DVBT-1", "DVBS2-"));
    EXPECT_EQ(1, SatIpTunerCount("DVBT2-3,DVBT-1", "DVBT-"));
    EXPECT_EQ(0, SatIpTunerCount("DVBT2-3", "DVBT-"));
    EXPECT_EQ(2147483647, SatIpTunerCount("DVBC-99999999999999", "DVBC-"));
}

TEST(SatIpServerKey, CrcOfLocationThenUsn) {
    EXPECT_EQ(0x9B73448Cu, SatIpServerKey("a", "bc"));
    EXPECT_EQ(0x9B73448Cu, SatIpServerKey("", "abc"));
    EXPECT_EQ(0u, SatIpServerKey("http://10.0.0.1/desc.xml", ""));
    EXPECT_NE(SatIpServerKey("http://a/", "uuid:1"), SatIpServerKey("http://a/", "uuid:2"));
}

TEST(DeviceDescription, ElementTextsUnderRootAndDevice) {
    DeviceDescription d;
    ASSERT_TRUE(d.Parse(Description("<friendlyName>Living room</friendlyName>"
                                    "<satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">DVBS2-2,DVBC-1"
                                    "</satip:X_SATIPCAP><empty></empty>")));
    EXPECT_EQ("Living room", d.Text("friendlyName"));
    EXPECT_EQ(kSatIpCapDvbS2 | kSatIpCapDvbC, SatIpCapabilityMask(d));
    EXPECT_EQ(std::nullopt, d.Text("empty"));
    EXPECT_EQ(std::nullopt, d.Text("modelName"));
    EXPECT_EQ(std::nullopt, d.Text("deviceTypeX"));

    // Elements elsewhere do not count.
    ASSERT_TRUE(d.Parse("<root><friendlyName>top</friendlyName><device/></root>"));
    EXPECT_EQ(std::nullopt, d.Text("friendlyName"));
    ASSERT_TRUE(d.Parse("<other><device><friendlyName>x</friendlyName></device></other>"));
    EXPECT_EQ(std::nullopt, d.Text("friendlyName"));
}

TEST(DeviceDescription, CutAndBrokenTexts) {
    DeviceDescription d;
    EXPECT_FALSE(d.Parse("<root><device><friendlyName>x</device></root>"));
    EXPECT_TRUE(d.Empty());
    EXPECT_EQ(std::nullopt, d.Text("friendlyName"));
    EXPECT_FALSE(d.Parse(""));

    // A description longer than the buffer is cut: here the cut falls inside the
    // padding after the document, which still parses.
    const std::string whole = Description("<friendlyName>Padded</friendlyName>");
    ASSERT_TRUE(d.Parse(whole + std::string(20000, ' ')));
    EXPECT_EQ(DeviceDescription::kTextLimit, d.Raw().size());
    EXPECT_EQ("Padded", d.Text("friendlyName"));
    // Here it falls inside the document, which no longer parses.
    EXPECT_FALSE(d.Parse(Description("<manufacturer>" + std::string(20000, 'm') + "</manufacturer>")));
    EXPECT_TRUE(d.Empty());
}

TEST(DeviceDescriptionFetch, PlainGetWithUserAgentAndNoCache) {
    const std::string body = Description("<friendlyName>Octopus</friendlyName>");
    ScriptedTcpServer server([&](const std::string&, int) { return Reply{Http("200 OK", body), true}; });
    DeviceDescription d;
    ASSERT_TRUE(d.Fetch(UrlOf(server), "Linux/6.1 UPnP/1.1 VelmarSSDP/1.0"));
    EXPECT_EQ("Octopus", d.Text("friendlyName"));
    ASSERT_EQ(1u, server.Requests().size());
    const std::string request = server.Requests()[0];
    EXPECT_EQ(0u, request.find("GET /desc.xml HTTP/1.1\r\n")) << request;
    EXPECT_NE(std::string::npos, request.find("\r\nUser-Agent: Linux/6.1 UPnP/1.1 VelmarSSDP/1.0\r\n")) << request;
    EXPECT_NE(std::string::npos, request.find("\r\nCache-Control: no-cache\r\n")) << request;
    EXPECT_NE(std::string::npos, request.find("\r\nPragma: no-cache\r\n")) << request;
}

TEST(DeviceDescriptionFetch, ChunkedBodyAndLongBodyCut) {
    const std::string body = Description("<friendlyName>Chunky</friendlyName>");
    ScriptedTcpServer chunked([&](const std::string&, int) {
        const std::string first = body.substr(0, 40), rest = body.substr(40);
        char sizes[2][16];
        std::snprintf(sizes[0], sizeof sizes[0], "%zx\r\n", first.size());
        std::snprintf(sizes[1], sizeof sizes[1], "%zx\r\n", rest.size());
        return Reply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" +
                         std::string(sizes[0]) + first + "\r\n" + sizes[1] + rest + "\r\n0\r\n\r\n",
                     true};
    });
    DeviceDescription d;
    ASSERT_TRUE(d.Fetch(UrlOf(chunked), "ua"));
    EXPECT_EQ("Chunky", d.Text("friendlyName"));

    // 64 KiB: the first 10237 bytes are kept, and here they hold the whole document.
    const std::string big = Description("<friendlyName>Big</friendlyName>") + std::string(65536, '\n');
    ScriptedTcpServer large([&](const std::string&, int) { return Reply{Http("200 OK", big), true}; });
    ASSERT_TRUE(d.Fetch(UrlOf(large), "ua"));
    EXPECT_EQ(DeviceDescription::kTextLimit, d.Raw().size());
    EXPECT_EQ("Big", d.Text("friendlyName"));
}

TEST(DeviceDescriptionFetch, FailuresLeaveItEmpty) {
    const std::string body = Description("<friendlyName>Nope</friendlyName>");
    struct Case {
        const char* what;
        std::string reply;
    };
    const Case cases[] = {
        {"not found", Http("404 Not Found", body)},
        {"server error", Http("500 Internal Server Error", body)},
        {"empty body", Http("200 OK", "")},
        {"not XML", Http("200 OK", "<html><body>hello")},
        {"cut short", "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + body},
        {"no HTTP at all", "garbage\r\n\r\n"},
    };
    for (const Case& c : cases) {
        ScriptedTcpServer server([&](const std::string&, int) { return Reply{c.reply, true}; });
        DeviceDescription d;
        ASSERT_TRUE(d.Parse(body));
        EXPECT_FALSE(d.Fetch(UrlOf(server), "ua")) << c.what;
        EXPECT_TRUE(d.Empty()) << c.what;
        EXPECT_EQ(std::nullopt, d.Text("friendlyName")) << c.what;
    }
    DeviceDescription d;
    for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/desc.xml", "", "desc.xml", "gopher://x/"}) {
        EXPECT_FALSE(d.Fetch(url, "ua")) << url;
    }
}

TEST(DeviceDescriptionFetch, RedirectOnlyToTheWeb) {
    const std::string body = Description("<friendlyName>Moved</friendlyName>");
    ScriptedTcpServer target([&](const std::string&, int) { return Reply{Http("200 OK", body), true}; });
    ScriptedTcpServer web([&](const std::string&, int) {
        return Reply{Http("302 Found", "", "Location: " + UrlOf(target) + "\r\n"), true};
    });
    ScriptedTcpServer file([&](const std::string&, int) {
        return Reply{Http("302 Found", "", "Location: file:///etc/hostname\r\n"), true};
    });
    DeviceDescription d;
    ASSERT_TRUE(d.Fetch(UrlOf(web), "ua"));
    EXPECT_EQ("Moved", d.Text("friendlyName"));
    EXPECT_FALSE(d.Fetch(UrlOf(file), "ua"));
}

TEST(SatIpServerList, ReadersBackOffDuringARebuild) {
    SatIpServerList list;
    EXPECT_FALSE(list.LockIfReady());
    std::vector<SatIpServer> copy;
    EXPECT_FALSE(list.Snapshot(copy));
    list.BeginRebuild();
    SatIpServer s{0x1234, kSatIpCapDvbS2, MakeIPv4Address(0x0A000001, 1900), std::string(63, 'n') + "\xc3\xa9"};
    ASSERT_TRUE(list.Add(s));
    EXPECT_EQ(0u, list.CapabilitiesOf(0x1234));  // not ready yet
    EXPECT_TRUE(list.Contains(0x1234));
    list.FinishRebuild();
    EXPECT_EQ(1u, list.Generation());
    ASSERT_TRUE(list.LockIfReady());
    std::string name;
    NetAddress address;
    EXPECT_EQ(0x1234u, list.Get(0, &name, &address));
    EXPECT_EQ(std::string(63, 'n'), name);  // cut before the two-byte character, not inside it
    EXPECT_EQ(s.address, address);
    EXPECT_EQ(0u, list.Get(1, &name, nullptr));
    EXPECT_EQ(0u, list.Get(64, nullptr, nullptr));
    list.Unlock();
    EXPECT_EQ(kSatIpCapDvbS2, list.CapabilitiesOf(0x1234));
    EXPECT_EQ(0u, list.CapabilitiesOf(0));
    EXPECT_FALSE(list.Contains(0));

    list.BeginRebuild();
    for (uint32_t k = 1; k <= 64; ++k) EXPECT_TRUE(list.Add({k, 0, {}, "s"}));
    EXPECT_FALSE(list.Add({65, 0, {}, "s"}));
    list.FinishRebuild();
    ASSERT_TRUE(list.Snapshot(copy));
    EXPECT_EQ(SatIpServerList::kCapacity, copy.size());
}

}  // namespace
