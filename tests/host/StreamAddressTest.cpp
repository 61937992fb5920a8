#include "host/StreamAddress.h"

#include <gtest/gtest.h>

#include "tests/support/NetNamespace.h"

namespace {

std::string Text(const NetAddress& a) {
    std::string s;
    FormatNetAddress(a, s, a.port != 0);
    return s;
}

}  // namespace

TEST(StreamAddress, ReadsTheFormsUsersType) {
    using S = StreamAddress::Scheme;
    struct Case {
        const char* text;
        S scheme;
        const char* address;
        const char* source;  // "" for none
    };
    const Case cases[] = {
        {"239.1.1.1:1234", S::None, "239.1.1.1:1234", ""},
        {"[ff15::1]:5000", S::None, "[ff15::1]:5000", ""},
        {"udp://239.1.1.1:1234", S::Udp, "239.1.1.1:1234", ""},
        {"udp://@239.1.1.1:1234", S::Udp, "239.1.1.1:1234", ""},
        {"rtp://@239.1.1.1:1234", S::Rtp, "239.1.1.1:1234", ""},
        {"RTP://@239.1.1.1:1234", S::Rtp, "239.1.1.1:1234", ""},
        {"udp://[ff15::1]:5000", S::Udp, "[ff15::1]:5000", ""},
        {"udp://@[ff15::1]:5000", S::Udp, "[ff15::1]:5000", ""},
        {"udp://127.0.0.1:7000", S::Udp, "127.0.0.1:7000", ""},
        {"udp://10.0.0.1@232.1.1.1:5000", S::Udp, "232.1.1.1:5000", "10.0.0.1"},
        {"rtp://[2001:db8::1]@[ff35::1]:5000", S::Rtp, "[ff35::1]:5000", "[2001:db8::1]"},
        {"udp://2001:db8::1@[ff35::1]:5000", S::Udp, "[ff35::1]:5000", "[2001:db8::1]"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto parsed = ParseStreamAddress(c.text, &error);
        ASSERT_TRUE(parsed) << c.text << ": " << error;
        EXPECT_EQ(parsed->scheme, c.scheme) << c.text;
        EXPECT_EQ(Text(parsed->address), c.address) << c.text;
        EXPECT_EQ(parsed->hasSource, *c.source != 0) << c.text;
        if (parsed->hasSource) {
            EXPECT_EQ(Text(parsed->source), c.source) << c.text;
        }
    }
}

TEST(StreamAddress, RefusesBadFormsWithOneLine) {
    const std::string forms =
        " (use 239.1.2.3:5000, udp://@239.1.2.3:5000, rtp://@239.1.2.3:5000 or udp://[ff15::1]:5000)";
    const std::pair<const char*, std::string> cases[] = {
        {"239.1.1.1", "not an address with a port: \"239.1.1.1\" (use 239.1.2.3:5000 or [ff15::1]:5000)"},
        {"udp://@239.1.1.1:0", "not an address with a port: \"udp://@239.1.1.1:0\" (use 239.1.2.3:5000 or [ff15::1]:5000)"},
        {"udp://@239.1.1.1:65536", "not a stream address: \"udp://@239.1.1.1:65536\"" + forms},
        {"ff15::1:5000", "not a stream address: \"ff15::1:5000\"" + forms},
        {"udp://@239.1.1.1:1234/", "not a stream address: \"udp://@239.1.1.1:1234/\"" + forms},
        {"udp:/239.1.1.1:1234", "not a stream address: \"udp:/239.1.1.1:1234\"" + forms},
        {"@239.1.1.1:1234", "not a stream address: \"@239.1.1.1:1234\"" + forms},
        {"", "not a stream address: \"\"" + forms},
        {"http://239.1.1.1:1234", "not a stream address: \"http://239.1.1.1:1234\" (the scheme is udp:// or rtp://)"},
        {"udp://host@232.1.1.1:5000", "not a source address: \"host\" in \"udp://host@232.1.1.1:5000\""},
        {"udp://10.0.0.1@10.0.0.2:5000",
         "a source before \"@\" needs a multicast group after it: \"udp://10.0.0.1@10.0.0.2:5000\""},
        {"udp://[2001:db8::1]@232.1.1.1:5000",
         "the source and the group must both be IPv4 or both IPv6: \"udp://[2001:db8::1]@232.1.1.1:5000\""},
        {"udp://1.2.3.4@@232.1.1.1:5000", "not a stream address: \"udp://1.2.3.4@@232.1.1.1:5000\"" + forms},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_FALSE(ParseStreamAddress(text, &error)) << text;
        EXPECT_EQ(error, expected);
    }
}

// In a namespace of the test's own, where lo holds 127.0.0.1 and ::1 and nothing else exists.
TEST(StreamAddress, SendAndReceiveTargetsTakeInterfacesByNameOrAddress) {
    NetNamespace ns("addr");
    ASSERT_TRUE(ns.Created());
    struct SendCase {
        const char *udp, *interface, *destination;
        bool rtp;
        const char* sendInterface;  // or the error
        bool ok = true;
    };
    const SendCase sends[] = {
        {"udp://@239.1.1.1:1234", "lo", "239.1.1.1:1234", false, "127.0.0.1"},
        {"rtp://239.1.1.1:1234", "127.0.0.1", "239.1.1.1:1234", true, "127.0.0.1"},
        {"udp://[ff15::1]:5000", "::1", "[ff15::1]:5000", false, "lo"},
        {"[ff15::1]:5000", "", "[ff15::1]:5000", false, ""},
        {"udp://10.0.0.1@232.1.1.1:5000", "", "", false,
         "a source before \"@\" is for receiving (iptv), not for --udp: \"udp://10.0.0.1@232.1.1.1:5000\"", false},
    };
    struct ReceiveCase {
        const char *address, *interface, *source;
        const char* expectedInterface;  // or the error
        const char* expectedSource;     // "" for none
        bool ok = true;
    };
    const ReceiveCase receives[] = {
        {"udp://10.0.0.1@232.1.1.1:5000", "lo", "", "127.0.0.1", "10.0.0.1"},
        {"rtp://@[ff15::1]:5000", "lo", "", "[::1]", ""},
        {"232.1.1.1:5000", "", "10.0.0.1", "", "10.0.0.1"},
        {"udp://[ff35::1]:5000", "", "2001:db8::1", "", "[2001:db8::1]"},
        {"udp://10.0.0.1@232.1.1.1:5000", "", "10.0.0.2", "the source is given twice: before \"@\" and with --source",
         "", false},
        {"232.1.1.1:5000", "", "::1", "the source and the group must both be IPv4 or both IPv6", "", false},
    };
    ASSERT_TRUE(ns.Run([&] {
        for (const SendCase& c : sends) {
            std::string error;
            const auto target = ResolveSendTarget(c.udp, c.interface, &error);
            ASSERT_EQ(target.has_value(), c.ok) << c.udp << " " << c.interface << ": " << error;
            if (!c.ok) {
                EXPECT_EQ(error, c.sendInterface);
                continue;
            }
            EXPECT_EQ(target->destination, c.destination);
            EXPECT_EQ(target->rtp, c.rtp) << c.udp;
            EXPECT_EQ(target->interface, c.sendInterface) << c.udp;
        }
        for (const ReceiveCase& c : receives) {
            std::string error;
            const auto target = ResolveReceiveTarget(c.address, c.interface, c.source, &error);
            ASSERT_EQ(target.has_value(), c.ok) << c.address << ": " << error;
            if (!c.ok) {
                EXPECT_EQ(error, c.expectedInterface);
                continue;
            }
            EXPECT_EQ(Text(target->interface), c.expectedInterface) << c.address;
            EXPECT_EQ(target->stream.hasSource, *c.expectedSource != 0) << c.address;
            EXPECT_EQ(Text(target->stream.source), c.expectedSource) << c.address;
        }
    }));
}
