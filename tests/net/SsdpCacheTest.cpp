// What SSDP messages do to the cache: kinds, header lookup, max-age limits, and the
// alive/byebye/update rules keyed by the exact USN.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/Crc32Mpeg2.h"
#include "net/SsdpCache.h"
#include "net/SystemUserAgent.h"

namespace {

const NetAddress kSenderA = MakeIPv4Address(0x0A000001, 1900);
const NetAddress kSenderB = MakeIPv4Address(0x0A000002, 40000);

std::string Notify(const std::string& nts, const std::string& usn, const std::string& location = "http://10.0.0.1/d.xml",
                   const std::string& extra = "") {
    return "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=1800\r\nLOCATION: " + location +
           "\r\nNT: urn:ses-com:device:SatIPServer:1\r\nNTS: " + nts + "\r\nUSN: " + usn + "\r\n" + extra + "\r\n";
}

std::string Response(const std::string& usn, const std::string& cacheControl = "CACHE-CONTROL: max-age=120\r\n") {
    return "HTTP/1.1 200 OK\r\n" + cacheControl +
           "EXT:\r\nLOCATION: http://10.0.0.2:8080/desc.xml\r\nST: urn:ses-com:device:SatIPServer:1\r\nUSN: " + usn +
           "\r\n\r\n";
}

std::vector<std::string> Usns(const SsdpCache& cache) {
    std::vector<std::string> usns;
    for (const SsdpCacheEntry& e : cache.Entries()) usns.push_back(e.usn);
    return usns;
}

TEST(SsdpCache, ResponseAndNotifyFillTheRecord) {
    SsdpCache cache;
    cache.Process(Response("uuid:1::urn:ses-com:device:SatIPServer:1"), kSenderB, 77);
    ASSERT_EQ(1u, cache.Entries().size());
    const SsdpCacheEntry& e = cache.Entries()[0];
    EXPECT_EQ(kSenderB, e.sender);
    EXPECT_EQ(77u, e.received);
    EXPECT_EQ("urn:ses-com:device:SatIPServer:1", e.type);
    EXPECT_EQ("uuid:1::urn:ses-com:device:SatIPServer:1", e.usn);
    EXPECT_EQ("http://10.0.0.2:8080/desc.xml", e.location);
    EXPECT_EQ(120u, e.maxAge);

    // Header names in any case, blanks after the colon skipped, values end at the CR.
    cache.Process("NOTIFY * HTTP/1.1\r\nnts:ssdp:alive\r\nUsn:    uuid:2\r\nLocation: http://x/\r\nnt: t2\r\n\r\n",
                  kSenderA, 5);
    ASSERT_EQ(2u, cache.Entries().size());
    EXPECT_EQ("uuid:2", cache.Entries()[1].usn);
    EXPECT_EQ("http://x/", cache.Entries()[1].location);
    EXPECT_EQ("t2", cache.Entries()[1].type);
    EXPECT_EQ(1800u, cache.Entries()[1].maxAge);
}

TEST(SsdpCache, MessagesThatAreIgnored) {
    const std::vector<std::string> ignored = {
        "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nST: ssdp:all\r\nUSN: u\r\n\r\n",
        "HTTP/1.1 404 Not Found\r\nUSN: u\r\n\r\n",
        "notify * HTTP/1.1\r\nNTS: ssdp:alive\r\nUSN: u\r\n\r\n",
        "NOTIFY * HTTP/1.1",  // no line end: not even the first line is whole
        std::string(1024, '\0'),
        "",
    };
    SsdpCache cache;
    for (const std::string& m : ignored) cache.Process(m, kSenderA, 1);
    EXPECT_TRUE(cache.Entries().empty());
}

TEST(SsdpCache, AliveByeUpdateAndOther) {
    SsdpCache cache;
    cache.Process(Notify("ssdp:alive", "uuid:a"), kSenderA, 1);
    cache.Process(Notify("ssdp:alive", "uuid:b"), kSenderA, 1);
    cache.Process(Notify("ssdp:alive", "uuid:c"), kSenderA, 1);

    // Alive again: sender and time only.
    cache.Process(Notify("ssdp:alive", "uuid:b", "http://elsewhere/"), kSenderB, 9);
    EXPECT_EQ(kSenderB, cache.Entries()[1].sender);
    EXPECT_EQ(9u, cache.Entries()[1].received);
    EXPECT_EQ("http://10.0.0.1/d.xml", cache.Entries()[1].location);

    // Update: everything.
    cache.Process(Notify("ssdp:update", "uuid:b", "http://elsewhere/"), kSenderA, 10);
    EXPECT_EQ("http://elsewhere/", cache.Entries()[1].location);
    EXPECT_EQ(kSenderA, cache.Entries()[1].sender);

    // Any other NTS, or none: nothing, for known and unknown USNs.
    cache.Process(Notify("ssdp:propchange", "uuid:b", "http://third/"), kSenderB, 11);
    cache.Process("NOTIFY * HTTP/1.1\r\nUSN: uuid:b\r\nLOCATION: http://fourth/\r\n\r\n", kSenderB, 12);
    EXPECT_EQ("http://elsewhere/", cache.Entries()[1].location);
    cache.Process(Notify("ssdp:propchange", "uuid:new"), kSenderB, 11);
    EXPECT_EQ((std::vector<std::string>{"uuid:a", "uuid:b", "uuid:c", "uuid:new"}), Usns(cache));

    // Bye removes a known USN and keeps the order of the rest; an unknown one does nothing.
    cache.Process(Notify("ssdp:byebye", "uuid:b"), kSenderA, 13);
    cache.Process(Notify("ssdp:byebye", "uuid:zzz"), kSenderA, 13);
    EXPECT_EQ((std::vector<std::string>{"uuid:a", "uuid:c", "uuid:new"}), Usns(cache));
    // An unknown USN arriving as an update is added.
    cache.Process(Notify("ssdp:update", "uuid:d"), kSenderA, 14);
    EXPECT_EQ(4u, cache.Entries().size());
}

TEST(SsdpCache, UsnsMatchWhole) {
    // A device's own USN is a prefix of its service USNs; neither may stand for the other.
    SsdpCache cache;
    cache.Process(Notify("ssdp:alive", "uuid:x::urn:ses-com:device:SatIPServer:1"), kSenderA, 1);
    cache.Process(Notify("ssdp:alive", "uuid:x"), kSenderA, 1);
    EXPECT_EQ(2u, cache.Entries().size());
    cache.Process(Notify("ssdp:byebye", "uuid:x"), kSenderA, 2);
    EXPECT_EQ((std::vector<std::string>{"uuid:x::urn:ses-com:device:SatIPServer:1"}), Usns(cache));
}

TEST(SsdpCache, HoldsAtMost128) {
    SsdpCache cache;
    for (int i = 0; i < 130; ++i) cache.Process(Notify("ssdp:alive", "uuid:" + std::to_string(i)), kSenderA, 1);
    ASSERT_EQ(SsdpCache::kCapacity, cache.Entries().size());
    EXPECT_EQ("uuid:127", cache.Entries().back().usn);
    // Room again after a goodbye.
    cache.Process(Notify("ssdp:byebye", "uuid:0"), kSenderA, 2);
    cache.Process(Notify("ssdp:alive", "uuid:200"), kSenderA, 2);
    EXPECT_EQ("uuid:200", cache.Entries().back().usn);
}

TEST(SsdpCache, MessageCutAt1024Bytes) {
    SsdpCache cache;
    const std::string padding(1024, 'p');
    cache.Process("NOTIFY * HTTP/1.1\r\nNTS: ssdp:alive\r\nX-Pad: " + padding + "\r\nUSN: uuid:late\r\n\r\n", kSenderA, 1);
    EXPECT_EQ((std::vector<std::string>{""}), Usns(cache));
}

TEST(SsdpMaxAge, LimitsAndDefaults) {
    struct Case {
        const char* value;  // null: no header
        uint32_t maxAge;
    };
    const Case cases[] = {
        {"max-age=1800", 1800}, {"max-age=10", 60},         {"max-age=60", 60},
        {"max-age=86400", 86400}, {"max-age=86401", 86400}, {"max-age=99999999999999999999", 86400},
        {"no-cache", 1800},     {nullptr, 1800},            {"public, MAX-AGE = 300", 300},
        {"max-age=", 1800},     {"max-age=-5", 1800},       {"max-age=0", 60},
    };
    for (const Case& c : cases) {
        const std::optional<std::string_view> value = c.value ? std::optional<std::string_view>(c.value) : std::nullopt;
        EXPECT_EQ(c.maxAge, SsdpMaxAge(value)) << (c.value ? c.value : "(none)");
    }
    SsdpCache cache;
    cache.Process(Response("u1", "CACHE-CONTROL: max-age=10\r\n"), kSenderA, 1);
    cache.Process(Response("u2", ""), kSenderA, 1);
    EXPECT_EQ(60u, cache.Entries()[0].maxAge);
    EXPECT_EQ(1800u, cache.Entries()[1].maxAge);
}

TEST(Crc32Mpeg2, CheckValues) {
    const std::string abc = "abc", digits = "123456789";
    EXPECT_EQ(0x9B73448Cu, Crc32Mpeg2(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()));
    EXPECT_EQ(0x0376E6E7u, Crc32Mpeg2(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()));
    EXPECT_EQ(0xFFFFFFFFu, Crc32Mpeg2(nullptr, 0));
}

TEST(SystemUserAgent, NameAndVersionOfTheSystem) {
    EXPECT_EQ("Linux/6.1 UPnP/1.1 VelmarSSDP/1.0", FormatUserAgent("Linux", "6.1.0-13-amd64"));
    EXPECT_EQ("Linux/6.18 UPnP/1.1 VelmarSSDP/1.0", FormatUserAgent("Linux", "6.18.44-fc-v1272"));
    EXPECT_EQ("Linux/5.0 UPnP/1.1 VelmarSSDP/1.0", FormatUserAgent("Linux", "5"));
    EXPECT_EQ("Linux/0.0 UPnP/1.1 VelmarSSDP/1.0", FormatUserAgent("Linux", "odd"));
    EXPECT_EQ(260u, FormatUserAgent(std::string(400, 'L').c_str(), "1.2").size());
    const std::string mine = SystemUserAgent();
    EXPECT_EQ(0u, mine.find("Linux/"));
    EXPECT_NE(std::string::npos, mine.find(" UPnP/1.1 VelmarSSDP/1.0"));
}

}  // namespace
