#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/NetTrace.h"
#include "net/RtcpStatusReceiver.h"
#include "net/RtpPortPair.h"
#include "net/Sockets.h"
#include "tests/support/WaitUntil.h"

namespace {

uint16_t BoundPort(SocketHandle s) {
    NetAddress local{};
    return SocketLocalAddress(s, local) == 0 ? NetAddressPort(local) : 0;
}

SocketHandle BindUdp(uint16_t port, bool reuse = false) {
    const SocketHandle s = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
    const int on = 1;
    if (reuse) setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (SocketBind(s, MakeIPv4Address(0, port)) != 0) {
        SocketClose(s);
        return kInvalidSocket;
    }
    return s;
}

TEST(RtpPortPair, LandsOnAnEvenPortWithTheNextOneForReports) {
    for (int round = 0; round < 8; ++round) {
        RtpPortPair pair;
        ReceiveSocketError error;
        ASSERT_TRUE(OpenRtpPortPair(pair, error)) << error.operation;
        EXPECT_EQ(pair.port % 2, 0);
        EXPECT_EQ(BoundPort(pair.rtp), pair.port);
        EXPECT_EQ(BoundPort(pair.rtcp), pair.port + 1);
        CloseRtpPortPair(pair);
        EXPECT_EQ(pair.rtp, kInvalidSocket);
    }
}

// A free odd port to ask for: one the system just handed out, made odd and checked.
uint16_t FreeOddPort() {
    for (int tries = 0; tries < 50; ++tries) {
        const SocketHandle probe = BindUdp(0);
        const uint16_t port = BoundPort(probe) | 1;
        SocketClose(probe);
        const SocketHandle check = BindUdp(port);
        if (check == kInvalidSocket) continue;
        SocketClose(check);
        return port;
    }
    return 0;
}

TEST(RtpPortPair, AnOddFirstPortMovesToTheEvenPortAboveThePair) {
    const uint16_t odd = FreeOddPort();
    ASSERT_NE(odd, 0);
    RtpPortPair pair;
    ReceiveSocketError error;
    ASSERT_TRUE(OpenRtpPortPair(pair, error, odd));
    EXPECT_EQ(pair.port % 2, 0);
    EXPECT_GE(pair.port, (odd + 3) & ~1);
    CloseRtpPortPair(pair);
}

TEST(RtpPortPair, ATakenReportPortMovesThePairOn) {
    const uint16_t odd = FreeOddPort();
    ASSERT_NE(odd, 0);
    const uint16_t even = odd - 1;
    const SocketHandle blocker = BindUdp(odd);  // the report port of `even`
    ASSERT_NE(blocker, kInvalidSocket);
    RtpPortPair pair;
    ReceiveSocketError error;
    ASSERT_TRUE(OpenRtpPortPair(pair, error, even));
    EXPECT_NE(pair.port, even);
    EXPECT_EQ(pair.port % 2, 0);
    CloseRtpPortPair(pair);
    SocketClose(blocker);
}

// A receiver that shares its port (an IPTV feed, another program) keeps its datagrams:
// the pair never binds on top of it, not even through address reuse.
TEST(RtpPortPair, APortHeldWithAddressReuseIsNotShared) {
    const uint16_t odd = FreeOddPort();
    ASSERT_NE(odd, 0);
    const uint16_t even = odd - 1;
    const SocketHandle holder = BindUdp(even, true);
    ASSERT_NE(holder, kInvalidSocket);
    RtpPortPair pair;
    ReceiveSocketError error;
    ASSERT_TRUE(OpenRtpPortPair(pair, error, even));
    EXPECT_NE(pair.port, even);
    CloseRtpPortPair(pair);
    SocketClose(holder);
}

TEST(RtpPortPair, GivesUpAfterItsAttempts) {
    const uint16_t odd = FreeOddPort();
    ASSERT_NE(odd, 0);
    RtpPortPair pair;
    ReceiveSocketError error;
    // One attempt at an odd port cannot succeed.
    EXPECT_FALSE(OpenRtpPortPair(pair, error, odd, 1));
    EXPECT_EQ(pair.rtp, kInvalidSocket);
    EXPECT_EQ(error.failure, ReceiveSocketFailure::Operation);
}

// RTCP packets: a header of 4 bytes, the length in 32-bit words after the first.
std::vector<uint8_t> RtcpPacket(uint8_t type, const std::string& name, const std::string& text,
                                int lengthAdjust = 0) {
    std::vector<uint8_t> p = {0x80, type, 0, 0, 0x12, 0x34, 0x56, 0x78};
    if (!name.empty()) {
        p.insert(p.end(), name.begin(), name.end());
        p.insert(p.end(), {0, 0, static_cast<uint8_t>(text.size() >> 8), static_cast<uint8_t>(text.size())});
        p.insert(p.end(), text.begin(), text.end());
    }
    while (p.size() % 4) p.push_back(0);
    const int words = static_cast<int>(p.size() / 4) - 1 + lengthAdjust;
    p[2] = static_cast<uint8_t>(words >> 8);
    p[3] = static_cast<uint8_t>(words);
    return p;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kReport = "ver=1.0;src=1;tuner=1,224,1,15,11836.00,h,dvbs,qpsk,off,0.35,27500,34;pids=0,16";

TEST(Ses1Report, ReadsWhereverTheAppPacketSitsAndRefusesHostileLengths) {
    const auto sr = RtcpPacket(200, "", "");
    const auto app = RtcpPacket(204, "SES1", kReport);
    struct Case {
        const char* what;
        std::vector<uint8_t> datagram;
        bool found;
    } cases[] = {
        {"alone", app, true},
        {"after a sender report", Join(sr, app), true},
        {"another name", RtcpPacket(204, "XYZ1", kReport), false},
        {"another type", RtcpPacket(202, "SES1", kReport), false},
        {"length past the datagram", RtcpPacket(204, "SES1", kReport, 40), false},
        {"length past the datagram after a good packet", Join(sr, RtcpPacket(204, "SES1", kReport, 1)), false},
        {"missing tuner values", RtcpPacket(204, "SES1", "ver=1.0;src=1;tuner=1,224"), false},
        {"empty text", RtcpPacket(204, "SES1", ""), false},
        {"cut header", {0x80, 204}, false},
    };
    for (const Case& c : cases) {
        SatIpTunerReport report;
        EXPECT_EQ(ParseSes1Report(c.datagram.data(), c.datagram.size(), report), c.found) << c.what;
    }
    SatIpTunerReport report;
    ASSERT_TRUE(ParseSes1Report(app.data(), app.size(), report));
    EXPECT_EQ(report.versionMajor, 1);
    EXPECT_EQ(report.source, 1);
    EXPECT_EQ(report.frontEnd, 1);
    EXPECT_EQ(report.level, 224);
    EXPECT_EQ(report.lock, 1);
    EXPECT_EQ(report.quality, 15);
    EXPECT_EQ(report.frequency, 11836);
}

std::string g_trace;
void Collect(void*, std::string_view text) { g_trace.append(text); }

TEST(RtcpStatusReceiver, KeepsTheLatestReportAndTracesIt) {
    g_trace.clear();
    SetNetTraceSink(&Collect, nullptr);
    RtpPortPair pair;
    ReceiveSocketError error;
    ASSERT_TRUE(OpenRtpPortPair(pair, error));
    RtcpStatusReceiver status;
    ASSERT_TRUE(status.Adopt(pair.rtcp));
    pair.rtcp = kInvalidSocket;
    ASSERT_NE(status.Start(nullptr, nullptr), -1);
    SatIpTunerReport report;
    EXPECT_FALSE(status.Latest(report));

    const SocketHandle sender = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
    const NetAddress to = MakeIPv4Address(0x7F000001, pair.port + 1);
    const auto noise = RtcpPacket(204, "SES1", "garbage");
    const auto first = RtcpPacket(204, "SES1", "ver=1.0;src=2;tuner=3,100,0,7,12000,");
    const auto second = RtcpPacket(204, "SES1", "ver=1.0;src=2;tuner=3,200,1,9,12000,");
    SocketSendTo(sender, noise.data(), static_cast<int>(noise.size()), to);
    SocketSendTo(sender, first.data(), static_cast<int>(first.size()), to);
    SocketSendTo(sender, second.data(), static_cast<int>(second.size()), to);
    ASSERT_TRUE(WaitUntil([&] { return status.Reports() == 2; }));
    ASSERT_TRUE(status.Latest(report));
    EXPECT_EQ(report.level, 200);
    EXPECT_EQ(report.lock, 1);
    EXPECT_EQ(report.quality, 9);
    status.Stop();
    SocketClose(sender);
    CloseRtpPortPair(pair);
    SetNetTraceSink(nullptr, nullptr);
    EXPECT_EQ(g_trace, "1.0 Src2 FE3 Level100 Lock0 Qual7 Freq12000\r\n1.0 Src2 FE3 Level200 Lock1 Qual9 Freq12000\r\n");
}

}  // namespace
