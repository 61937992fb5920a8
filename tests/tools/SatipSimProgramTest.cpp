// The built satip-sim program as a client meets it: real sockets on loopback, SSDP and
// multicast only inside network namespaces of the test's own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/PacedStream.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/ProgramTestDir.h"
#include "tests/support/SatipSimProcess.h"
#include "tests/support/WaitUntil.h"
#include "tests/tools/SatipTestClient.h"

namespace {

using namespace std::chrono_literals;
using namespace satip_test;

// Any free ports, so that tests may run side by side.
class Sim : public SatipSimProcess {
public:
    Sim(const std::string& dir, const std::string& args, const std::string& netns = "")
        : SatipSimProcess(dir, "--rtsp-port 0 --http-port 0 " + args, netns) {}
};

class SatipSimProgram : public ProgramTestDir {};

}  // namespace

TEST_F(SatipSimProgram, RtspDialogueDeliversTheSourceByteExactOverRtp) {
    Sim sim(dir_.string(), "--quiet");
    ASSERT_TRUE(sim.Ready());
    EXPECT_EQ(sim.Line("description"), "http://127.0.0.1:" + std::to_string(sim.Port("http")) + "/desc.xml");
    Rtsp rtsp(sim.Port("rtsp"));
    Udp rtp, rtcp;

    std::string r = rtsp.Ask("OPTIONS", "/");
    EXPECT_EQ(r.substr(0, r.find("\r\n")), "RTSP/1.0 200 OK");
    EXPECT_EQ(Header(r, "CSeq"), "1");
    EXPECT_EQ(Header(r, "Public"), "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN");
    EXPECT_EQ(rtsp.Ask("DESCRIBE", "/").substr(0, 22), "RTSP/1.0 404 Not Found") << "no stream yet";

    r = rtsp.Ask("SETUP", std::string(kTune) + "&pids=all", UnicastTransport(rtp, rtcp));
    ASSERT_EQ(r.substr(0, 15), "RTSP/1.0 200 OK") << r;
    const std::string session = SessionOf(r);
    EXPECT_EQ(Header(r, "Session"), session + ";timeout=60");
    EXPECT_EQ(Header(r, "com.ses.streamID"), "1");
    EXPECT_EQ(Header(r, "Transport"), "RTP/AVP;unicast;destination=127.0.0.1;source=127.0.0.1;client_port=" +
                                          std::to_string(rtp.port) + "-" + std::to_string(rtcp.port));
    r = rtsp.Ask("DESCRIBE", "/stream=1");
    EXPECT_NE(r.find("\r\na=control:stream=1\r\na=fmtp:33 ver=1.0;src=1;tuner=1,224,1,15,11494.00,h,dvbs2,8psk,on,"
                     "0.35,22000,34;pids=all\r\na=inactive\r\n"),
              std::string::npos)
        << r;
    EXPECT_NE(r.find("\r\ns=SatIPServer:1 2,1,1\r\n"), std::string::npos) << r;

    r = rtsp.Ask("PLAY", "/stream=1", "Session: " + session + "\r\n");
    ASSERT_EQ(r.substr(0, 15), "RTSP/1.0 200 OK") << r;
    const std::string info = Header(r, "RTP-Info");
    const unsigned firstSequence = std::stoul(info.substr(info.find(";seq=") + 5));

    // A second's worth: sequence without gaps, seven packets each, the source's bytes in order.
    std::vector<uint8_t> received;
    uint32_t lastTimestamp = 0;
    for (unsigned k = 0; received.size() < 1'000'000; ++k) {
        const auto d = rtp.Next();
        ASSERT_GE(d.size(), 12u) << "datagram " << k;
        EXPECT_EQ(d[0], 0x80);
        EXPECT_EQ(d[1], 33);
        ASSERT_EQ((d[2] << 8 | d[3]), static_cast<int>((firstSequence + k) & 0xFFFF)) << "datagram " << k;
        const uint32_t timestamp = (uint32_t(d[4]) << 24) | (d[5] << 16) | (d[6] << 8) | d[7];
        if (k) {
            EXPECT_LT(timestamp - lastTimestamp, 90000u) << "90 kHz, going forward";
        }
        lastTimestamp = timestamp;
        EXPECT_EQ(d.size(), 12u + 7 * 188);
        received.insert(received.end(), d.begin() + 12, d.end());
    }
    EXPECT_EQ(received, PacedStream::Reference(PacedStreamSource{}, received.size()));

    const std::string status = Ses1Text(rtcp.Next());
    EXPECT_EQ(status, "ver=1.0;src=1;tuner=1,224,1,15,11494.00,h,dvbs2,8psk,on,0.35,22000,34;pids=all");

    EXPECT_NE(rtsp.Ask("DESCRIBE", "/").find("a=sendonly"), std::string::npos);
    r = rtsp.Ask("TEARDOWN", "/stream=1", "Session: " + session + "\r\n");
    EXPECT_EQ(r.substr(0, 15), "RTSP/1.0 200 OK");
    EXPECT_EQ(Header(r, "CSeq"), std::to_string(rtsp.CSeq()));
    EXPECT_EQ(rtsp.Ask("OPTIONS", "/", "Session: " + session + "\r\n").substr(0, 21), "RTSP/1.0 454 Session ");
    while (!rtp.Next(50).empty()) {
    }
    EXPECT_TRUE(rtp.Next(300).empty()) << "nothing after TEARDOWN";
}

TEST_F(SatipSimProgram, BadRequestsGetTheirStatus) {
    Sim sim(dir_.string(), "--quiet --caps DVBS2-1,DVBC-1");
    ASSERT_TRUE(sim.Ready());
    Udp rtp, rtcp;
    const std::string transport = UnicastTransport(rtp, rtcp);
    Rtsp held(sim.Port("rtsp"));
    const std::string session = SessionOf(held.Ask("SETUP", kTune, transport));
    ASSERT_FALSE(session.empty());
    struct Case {
        const char* name;
        std::string method, path, headers;
        bool noCseq;
        const char* status;
    };
    const Case cases[] = {
        {"no CSeq", "OPTIONS", "/", "", true, "RTSP/1.0 400 Bad Request"},
        {"unknown session", "PLAY", "/stream=1", "Session: 0BADBAD0\r\n", false, "RTSP/1.0 454 Session Not Found"},
        {"no session", "PLAY", "/stream=1", "", false, "RTSP/1.0 454 Session Not Found"},
        {"bad frequency", "SETUP", "/?freq=abc", transport, false, "RTSP/1.0 400 Bad Request"},
        {"no frequency", "SETUP", "/?src=1", transport, false, "RTSP/1.0 400 Bad Request"},
        {"no transport", "SETUP", kTune, "", false, "RTSP/1.0 461 Unsupported Transport"},
        {"interleaved", "SETUP", kTune, "Transport: RTP/AVP/TCP;interleaved=0-1\r\n", false,
         "RTSP/1.0 461 Unsupported Transport"},
        {"no client port", "SETUP", kTune, "Transport: RTP/AVP;unicast\r\n", false, "RTSP/1.0 461 Unsupported Transport"},
        {"bad port", "SETUP", kTune, "Transport: RTP/AVP;unicast;client_port=70000-70001\r\n", false,
         "RTSP/1.0 400 Bad Request"},
        {"bad group", "SETUP", kTune, "Transport: RTP/AVP;multicast;destination=10.0.0.1\r\n", false,
         "RTSP/1.0 400 Bad Request"},
        {"join a stream", "SETUP", "/stream=1?freq=11494", transport, false, "RTSP/1.0 454 Session Not Found"},
        {"no front end left", "SETUP", kTune, transport, false, "RTSP/1.0 503 Service Unavailable"},
        {"other stream", "PLAY", "/stream=7", "Session: " + session + "\r\n", false,
         "RTSP/1.0 455 Method Not Valid in This State"},
        {"other resource", "OPTIONS", "/index.html", "", false, "RTSP/1.0 404 Not Found"},
        {"unknown method", "GET_PARAMETER", "/", "", false, "RTSP/1.0 501 Not Implemented"},
    };
    for (const Case& c : cases) {
        Rtsp rtsp(sim.Port("rtsp"));
        const std::string r = rtsp.Ask(c.method, c.path, c.headers, c.noCseq);
        EXPECT_EQ(r.substr(0, r.find("\r\n")), c.status) << c.name;
        EXPECT_EQ(Header(r, "CSeq"), c.noCseq ? "" : "1") << c.name;
    }
    // A cable front end is still free: the kind follows msys.
    Rtsp cable(sim.Port("rtsp"));
    EXPECT_EQ(cable.Ask("SETUP", "/?freq=346&msys=dvbc&sr=6900", transport).substr(0, 15), "RTSP/1.0 200 OK");

    Rtsp other(sim.Port("rtsp"));
    other.Send("PLAY rtsp://x/ HTTP/1.1\r\nCSeq: 4\r\n\r\n");
    EXPECT_EQ(Receive(other.Socket(), 3s, WholeReply).substr(0, 43), "RTSP/1.0 505 RTSP Version Not Supported\r\nCS");
    Rtsp flood(sim.Port("rtsp"));
    flood.Send("OPTIONS / RTSP/1.0\r\nX: " + std::string(20000, 'a'));
    EXPECT_EQ(Receive(flood.Socket(), 3s, [](const std::string&) { return false; }), "RTSP/1.0 400 Bad Request\r\n\r\n")
        << "an endless head is cut off and the connection closed";
}

TEST_F(SatipSimProgram, PidsFilterAndChangeOnPlay) {
    Sim sim(dir_.string(), "--quiet");
    ASSERT_TRUE(sim.Ready());
    Rtsp rtsp(sim.Port("rtsp"));
    Udp rtp, rtcp;
    const std::string session = SessionOf(rtsp.Ask("SETUP", std::string(kTune) + "&pids=0", UnicastTransport(rtp, rtcp)));
    const std::string id = "Session: " + session + "\r\n";
    ASSERT_EQ(rtsp.Ask("PLAY", "/stream=1", id).substr(0, 15), "RTSP/1.0 200 OK");
    // The PID sets in the order PLAY changes them, and what must then arrive.
    const std::pair<const char*, std::set<unsigned>> steps[] = {
        {"", {0}},
        {"?addpids=256,4096", {0, 256, 4096}},
        {"?delpids=0,4096", {256}},
        {"?pids=8191", {8191}},
    };
    for (const auto& [query, wanted] : steps) {
        if (*query) {
            ASSERT_EQ(rtsp.Ask("PLAY", std::string("/stream=1") + query, id).substr(0, 15), "RTSP/1.0 200 OK");
        }
        // What was filtered before the change may still be on its way.
        rtp.Drain(150ms);
        std::set<unsigned> seen;
        const auto end = std::chrono::steady_clock::now() + 400ms;
        while (std::chrono::steady_clock::now() < end) {
            const auto d = rtp.Next(200);
            if (d.empty()) continue;
            EXPECT_EQ((d.size() - 12) % 188, 0u);
            EXPECT_LE(d.size(), 12u + 7 * 188);
            for (unsigned pid : PidsOf({d.begin() + 12, d.end()})) seen.insert(pid);
        }
        EXPECT_EQ(seen, wanted) << query;
    }
    rtcp.Drain(50ms);
    EXPECT_NE(Ses1Text(rtcp.Next()).find(";pids=8191"), std::string::npos);
    EXPECT_EQ(rtsp.Ask("PLAY", "/stream=1?pids=x", id).substr(0, 24), "RTSP/1.0 400 Bad Request");
}

TEST_F(SatipSimProgram, HttpStreamsPlainAndChunkedByteExact) {
    // A short file, so that the body runs over its end and the loop is checked too.
    PacedStreamSource file;
    file.file = Generate("short.ts", "--bitrate 4M --seconds 0.5");
    const struct {
        bool chunked;
        PacedStreamSource source;
    } cases[] = {{false, {}}, {true, {}}, {true, file}};
    for (const auto& [chunked, source] : cases) {
        std::string args = chunked ? "--quiet --http-chunked" : "--quiet";
        if (!source.file.empty()) args += " --file '" + source.file + "'";
        Sim sim(dir_.string(), args);
        ASSERT_TRUE(sim.Ready());
        const int s = Connect(sim.Port("http"));
        const std::string request = "GET /?src=1&freq=11494&pol=h&msys=dvbs2&pids=all HTTP/1.1\r\nHost: x\r\n\r\n";
        send(s, request.data(), request.size(), MSG_NOSIGNAL);
        const std::string text = Receive(s, 5s, [](const std::string& t) { return t.size() > 400'000; });
        close(s);
        const size_t head = text.find("\r\n\r\n");
        ASSERT_NE(head, std::string::npos);
        EXPECT_EQ(text.substr(0, 17), "HTTP/1.1 200 OK\r\n");
        EXPECT_EQ(text.find("Transfer-Encoding: chunked") < head, chunked);
        std::string body = text.substr(head + 4);
        if (chunked) {
            std::string decoded;
            size_t at = 0;
            for (;;) {
                const size_t line = body.find("\r\n", at);
                if (line == std::string::npos) break;
                const size_t size = std::stoul(body.substr(at, line - at), nullptr, 16);
                if (line + 2 + size + 2 > body.size()) break;
                ASSERT_GT(size, 0u);
                decoded += body.substr(line + 2, size);
                ASSERT_EQ(body.substr(line + 2 + size, 2), "\r\n");
                at = line + 2 + size + 2;
            }
            body = decoded;
        }
        ASSERT_GT(body.size(), 300'000u);
        const auto reference = PacedStream::Reference(source, body.size());
        EXPECT_TRUE(std::equal(body.begin(), body.end(), reference.begin(),
                               [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
            << (chunked ? "chunked " : "plain ") << source.file;
    }
}

TEST_F(SatipSimProgram, HttpDescriptionAndRefusals) {
    Sim sim(dir_.string(), "--quiet --caps DVBS2-1 --name 'Test&Box'");
    ASSERT_TRUE(sim.Ready());
    auto get = [&](const std::string& target) {
        const int s = Connect(sim.Port("http"));
        const std::string request = "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
        send(s, request.data(), request.size(), MSG_NOSIGNAL);
        const std::string reply = Receive(s, 3s, WholeReply);
        close(s);
        return reply;
    };
    const std::string xml = get("/desc.xml");
    EXPECT_EQ(xml.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    EXPECT_NE(xml.find(">DVBS2-1</satip:X_SATIPCAP>"), std::string::npos);
    EXPECT_NE(xml.find("<friendlyName>Test&amp;Box</friendlyName>"), std::string::npos);
    EXPECT_NE(xml.find("<presentationURL>http://127.0.0.1:" + std::to_string(sim.Port("http")) + "/</presentationURL>"),
              std::string::npos);
    const std::pair<const char*, const char*> cases[] = {
        {"/?freq=11494&pol=q", "HTTP/1.1 400 Bad Request"},
        {"/?src=1", "HTTP/1.1 400 Bad Request"},
        {"/?freq=474&msys=dvbt", "HTTP/1.1 503 Service Unavailable"},
        {"/other", "HTTP/1.1 404 Not Found"},
        {"/", "HTTP/1.1 200 OK"},
    };
    for (const auto& [target, status] : cases) {
        const std::string r = get(target);
        EXPECT_EQ(r.substr(0, r.find("\r\n")), status) << target;
    }
}

TEST_F(SatipSimProgram, MalformedRepliesAndDelays) {
    Sim sim(dir_.string(), "--quiet --malformed-methods OPTIONS");
    ASSERT_TRUE(sim.Ready());
    Rtsp control(sim.Port("control"));
    auto command = [&](const std::string& line) {
        control.Send(line + "\n");
        return Receive(control.Socket(), 3s, [](const std::string& t) { return t.find('\n') != std::string::npos; });
    };
    Udp rtp, rtcp;
    Rtsp setup(sim.Port("rtsp"));
    const std::string session = SessionOf(setup.Ask("SETUP", kTune, UnicastTransport(rtp, rtcp)));
    const std::string id = "Session: " + session + "\r\n";
    struct Case {
        const char* mode;
        std::function<void(const std::string&)> check;
    };
    const Case cases[] = {
        {"no-cseq", [](const std::string& r) {
             EXPECT_EQ(r.substr(0, 15), "RTSP/1.0 200 OK");
             EXPECT_EQ(r.find("CSeq"), std::string::npos);
         }},
        {"bad-status", [](const std::string& r) { EXPECT_EQ(r.substr(0, r.find("\r\n")), "RTSP/1.0 2x0 Okay-ish"); }},
        {"huge-header", [](const std::string& r) {
             EXPECT_GT(r.size(), 65536u);
             EXPECT_NE(r.find("\r\nX-Filler: " + std::string(65536, 'x') + "\r\n"), std::string::npos);
         }},
        {"no-timeout", [&](const std::string& r) { EXPECT_EQ(Header(r, "Session"), session); }},
        {"garbage", [](const std::string& r) {
             EXPECT_GE(r.size(), 512u);
             EXPECT_NE(r.substr(0, 5), "RTSP/");
         }},
        {"close", [](const std::string& r) { EXPECT_EQ(r, ""); }},
        {"silent", [](const std::string& r) { EXPECT_EQ(r, ""); }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(command(std::string("malformed ") + c.mode), "ok\n");
        Rtsp rtsp(sim.Port("rtsp"));
        c.check(rtsp.Ask("OPTIONS", "/", id, false, 500ms));
        // Only the named method is affected.
        EXPECT_EQ(rtsp.Ask("PLAY", "/stream=1", id, false, 500ms).substr(0, 15),
                  std::string(c.mode) == "close" ? "" : "RTSP/1.0 200 OK")
            << c.mode;
    }
    ASSERT_EQ(command("malformed off"), "ok\n");
    ASSERT_EQ(command("delay 300"), "ok\n");
    Rtsp slow(sim.Port("rtsp"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(slow.Ask("OPTIONS", "/").substr(0, 15), "RTSP/1.0 200 OK");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(command("frobnicate"), "error: unknown command 'frobnicate'\n");
}

TEST_F(SatipSimProgram, SessionsEndWithoutKeepAlive) {
    Sim sim(dir_.string(), "--quiet --session-timeout 1");
    ASSERT_TRUE(sim.Ready());
    Udp rtp, rtcp;
    Rtsp rtsp(sim.Port("rtsp"));
    const std::string kept = SessionOf(rtsp.Ask("SETUP", kTune, UnicastTransport(rtp, rtcp)));
    const std::string lapsed = SessionOf(rtsp.Ask("SETUP", kTune, UnicastTransport(rtp, rtcp)));
    EXPECT_EQ(Header(rtsp.Ask("OPTIONS", "/", "Session: " + kept + "\r\n"), "Session"), kept + ";timeout=1");
    for (int k = 0; k < 4; ++k) {
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(rtsp.Ask("OPTIONS", "/", "Session: " + kept + "\r\n").substr(0, 15), "RTSP/1.0 200 OK") << k;
    }
    EXPECT_EQ(rtsp.Ask("OPTIONS", "/", "Session: " + lapsed + "\r\n").substr(0, 12), "RTSP/1.0 454");
}

TEST_F(SatipSimProgram, DataStopsWhileReportsGoOnAndLockDrops) {
    Sim sim(dir_.string(), "--quiet --level 100 --quality 9");
    ASSERT_TRUE(sim.Ready());
    Rtsp control(sim.Port("control"));
    Udp rtp, rtcp;
    Rtsp rtsp(sim.Port("rtsp"));
    const std::string session =
        SessionOf(rtsp.Ask("SETUP", std::string(kTune) + "&pids=all", UnicastTransport(rtp, rtcp)));
    ASSERT_EQ(rtsp.Ask("PLAY", "/stream=1", "Session: " + session + "\r\n").substr(0, 15), "RTSP/1.0 200 OK");
    EXPECT_FALSE(rtp.Next().empty());
    EXPECT_NE(Ses1Text(rtcp.Next()).find(";tuner=1,100,1,9,"), std::string::npos);
    control.Send("data off\nlock 0\n");
    ASSERT_EQ(Receive(control.Socket(), 3s, [](const std::string& t) { return t == "ok\nok\n"; }), "ok\nok\n");
    rtp.Drain(100ms);
    EXPECT_TRUE(rtp.Next(300).empty());
    while (!rtcp.Next(0).empty()) {
    }
    EXPECT_NE(Ses1Text(rtcp.Next()).find(";tuner=1,100,0,9,"), std::string::npos);
    sim.Process().Signal(SIGUSR2);  // the signal switches data back on
    EXPECT_FALSE(rtp.Next().empty());
}

TEST_F(SatipSimProgram, DiscoveryByebyeAndMulticastInsideANamespace) {
    NetNamespace ns("satipsim");
    if (!ns.Created()) GTEST_SKIP() << "network namespaces need privileges";
    // The test's sockets live inside the namespace, opened before the program starts.
    std::unique_ptr<Udp> notify, search, group;
    std::unique_ptr<Rtsp> rtsp;
    ASSERT_TRUE(ns.Run([&] {
        notify = std::make_unique<Udp>("0.0.0.0", 1900);
        notify->Join("239.255.255.250");
        search = std::make_unique<Udp>();
        group = std::make_unique<Udp>("0.0.0.0", 0);
        group->Join("239.255.9.9");
    }));
    const uint16_t groupPort = group->port;
    Sim sim(dir_.string(), "--quiet --interface lo --uuid 12345678-aaaa-bbbb-cccc-0123456789ab", ns.Name());
    ASSERT_TRUE(sim.Ready());
    EXPECT_EQ(sim.Line("ssdp"), "127.0.0.1");
    const std::string location = "LOCATION: http://127.0.0.1:" + std::to_string(sim.Port("http")) + "/desc.xml\r\n";

    auto text = [](const std::vector<uint8_t>& d) { return std::string(d.begin(), d.end()); };
    std::set<std::string> alive;
    for (auto d = notify->Next(); !d.empty() && alive.size() < 3; d = notify->Next())
        if (text(d).find("NTS: ssdp:alive") != std::string::npos) alive.insert(Header(text(d), "NT"));
    EXPECT_EQ(alive, (std::set<std::string>{"upnp:rootdevice", "uuid:12345678-aaaa-bbbb-cccc-0123456789ab",
                                             "urn:ses-com:device:SatIPServer:1"}));

    const std::string request =
        "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\n"
        "ST: urn:ses-com:device:SatIPServer:1\r\n\r\n";
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(1900);
    inet_pton(AF_INET, "239.255.255.250", &to.sin_addr);
    const in_addr loopback{htonl(INADDR_LOOPBACK)};
    setsockopt(search->fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
    sendto(search->fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    const std::string answer = text(search->Next());
    EXPECT_EQ(answer.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    EXPECT_NE(answer.find("\r\n" + location), std::string::npos) << answer;
    EXPECT_NE(answer.find("\r\nUSN: uuid:12345678-aaaa-bbbb-cccc-0123456789ab::urn:ses-com:device:SatIPServer:1\r\n"),
              std::string::npos);

    // Multicast RTP inside the namespace, on the group and port the client asked for.
    ASSERT_TRUE(ns.Run([&] { rtsp = std::make_unique<Rtsp>(sim.Port("rtsp")); }));
    ASSERT_NE(rtsp->Socket(), -1);
    const std::string r = rtsp->Ask("SETUP", std::string(kTune) + "&pids=all", "Transport: RTP/AVP;multicast;destination=239.255.9.9;port=" +
                                                        std::to_string(groupPort) + "-" +
                                                        std::to_string(groupPort + 1) + ";ttl=0\r\n");
    EXPECT_EQ(Header(r, "Transport"), "RTP/AVP;multicast;destination=239.255.9.9;source=127.0.0.1;port=" +
                                          std::to_string(groupPort) + "-" + std::to_string(groupPort + 1) + ";ttl=0");
    ASSERT_EQ(rtsp->Ask("PLAY", "/stream=1", "Session: " + SessionOf(r) + "\r\n").substr(0, 15), "RTSP/1.0 200 OK");
    const auto d = group->Next();
    ASSERT_EQ(d.size(), 12u + 7 * 188);
    EXPECT_EQ(d[1], 33);

    while (!notify->Next(0).empty()) {
    }
    sim.Process().Signal(SIGTERM);
    EXPECT_EQ(sim.Process().Wait(5s), 0);
    std::set<std::string> gone;
    for (auto b = notify->Next(); !b.empty(); b = notify->Next(200))
        if (text(b).find("NTS: ssdp:byebye") != std::string::npos) gone.insert(Header(text(b), "NT"));
    EXPECT_EQ(gone, alive);

    Sim dying(dir_.string(), "--quiet --interface lo", ns.Name());
    ASSERT_TRUE(dying.Ready());
    while (!notify->Next(100).empty()) {
    }
    // Signals are held for the program from before it prints "ready".
    dying.Process().Signal(SIGUSR1);
    EXPECT_EQ(dying.Process().Wait(5s), 3);
    EXPECT_TRUE(notify->Next(300).empty()) << "a dying server says no byebye";
}
