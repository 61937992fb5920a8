// The built satip-sim program as a client meets it: real sockets on loopback, SSDP and
// multicast only inside network namespaces of the test's own.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/PacedStream.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/ProgramTestDir.h"
#include "tests/support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;

// The program, started in the foreground with its lines read from standard output.
class Sim {
public:
    Sim(const std::string& dir, const std::string& args, const std::string& netns = "") {
        outPath_ = dir + "/sim.out";
        const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string program = "'" + TestBinDir() + "/satip-sim' --rtsp-port 0 --http-port 0 --control 0 " + args;
        process_ = std::make_unique<ChildProcess>(netns.empty() ? program : "ip netns exec " + netns + " " + program,
                                                  dir + "/sim.err", out);
        close(out);
        ready_ = WaitUntil([&] { return ReadWholeFile(outPath_).find("ready\n") != std::string::npos; }, 10s);
        const std::string text = ReadWholeFile(outPath_);
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            lines_[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
            at = end + 1;
        }
    }
    bool Ready() const { return ready_; }
    uint16_t Port(const std::string& key) const {
        const auto it = lines_.find(key);
        return it == lines_.end() ? 0 : static_cast<uint16_t>(std::stoi(it->second.substr(it->second.rfind(':') + 1)));
    }
    std::string Line(const std::string& key) const {
        const auto it = lines_.find(key);
        return it == lines_.end() ? "" : it->second;
    }
    ChildProcess& Process() { return *process_; }

private:
    std::string outPath_;
    std::unique_ptr<ChildProcess> process_;
    std::map<std::string, std::string> lines_;
    bool ready_ = false;
};

int Connect(uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// What arrives within the limit, until the peer closes or `enough` says so.
std::string Receive(int s, std::chrono::milliseconds limit, const std::function<bool(const std::string&)>& enough) {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!enough(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char chunk[65536];
        const ssize_t got = recv(s, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        text.append(chunk, static_cast<size_t>(got));
    }
    return text;
}

// A whole reply: the head and as much body as Content-Length says.
bool WholeReply(const std::string& text) {
    const size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    const size_t length = text.find("\r\nContent-Length: ");
    const size_t body = length == std::string::npos || length > end ? 0 : std::stoul(text.substr(length + 18));
    return text.size() >= end + 4 + body;
}

class Rtsp {
public:
    explicit Rtsp(uint16_t port) : port_(port), socket_(Connect(port)) {}
    ~Rtsp() {
        if (socket_ >= 0) close(socket_);
    }
    std::string Url(const std::string& path) const { return "rtsp://127.0.0.1:" + std::to_string(port_) + path; }
    // Sends one request (CSeq added unless noCseq) and returns the reply.
    std::string Ask(const std::string& method, const std::string& path, const std::string& headers = "",
                    bool noCseq = false, std::chrono::milliseconds limit = 3s) {
        std::string text = method + " " + Url(path) + " RTSP/1.0\r\n";
        if (!noCseq) text += "CSeq: " + std::to_string(++cseq_) + "\r\n";
        Send(text + headers + "\r\n");
        return Receive(socket_, limit, WholeReply);
    }
    void Send(const std::string& text) { ASSERT_EQ(send(socket_, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size())); }
    int Socket() const { return socket_; }
    int CSeq() const { return cseq_; }

private:
    uint16_t port_;
    int socket_;
    int cseq_ = 0;
};

std::string Header(const std::string& reply, const std::string& name) {
    const size_t at = reply.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 4;
    return reply.substr(start, reply.find("\r\n", start) - start);
}
std::string SessionOf(const std::string& reply) {
    const std::string s = Header(reply, "Session");
    return s.substr(0, s.find(';'));
}

struct Udp {
    Udp(const char* address = "127.0.0.1", uint16_t port = 0) {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int buffer = 8 << 20, on = 1;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, address, &a.sin_addr);
        a.sin_port = htons(port);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        this->port = ntohs(a.sin_port);
    }
    ~Udp() { close(fd); }
    bool Join(const char* group) const {
        ip_mreq m{};
        inet_pton(AF_INET, group, &m.imr_multiaddr);
        m.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
        return setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
    }
    // Throws away what arrives for a while (a stream need not pause for that).
    void Drain(std::chrono::milliseconds span) const {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) Next(10);
    }
    // One datagram, or empty after the limit.
    std::vector<uint8_t> Next(int limitMs = 1000) const {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, limitMs) <= 0) return {};
        std::vector<uint8_t> d(65536);
        const ssize_t got = recv(fd, d.data(), d.size(), 0);
        d.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return d;
    }
    int fd;
    uint16_t port;
};

// The SES1 text of an RTCP compound packet, found by walking its packets.
std::string Ses1Text(const std::vector<uint8_t>& r) {
    for (size_t at = 0; at + 16 <= r.size();) {
        const size_t length = (((r[at + 2] << 8) | r[at + 3]) + 1) * 4u;
        if (r[at + 1] == 204 && std::string(reinterpret_cast<const char*>(&r[at + 8]), 4) == "SES1") {
            const size_t n = (r[at + 14] << 8) | r[at + 15];
            if (at + 16 + n <= r.size()) return std::string(reinterpret_cast<const char*>(&r[at + 16]), n);
        }
        at += length;
    }
    return "";
}

std::set<unsigned> PidsOf(const std::vector<uint8_t>& payload) {
    std::set<unsigned> pids;
    for (size_t at = 0; at + 188 <= payload.size(); at += 188) pids.insert(((payload[at + 1] & 0x1Fu) << 8) | payload[at + 2]);
    return pids;
}

constexpr char kTune[] = "/?src=1&freq=11494&pol=h&ro=0.35&msys=dvbs2&mtype=8psk&plts=on&sr=22000&fec=34";

std::string UnicastTransport(const Udp& rtp, const Udp& rtcp) {
    return "Transport: RTP/AVP;unicast;client_port=" + std::to_string(rtp.port) + "-" + std::to_string(rtcp.port) + "\r\n";
}

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
    EXPECT_EQ(received, PacedStream::Reference(PacedStreamSpec{}, received.size()));

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
    for (const bool chunked : {false, true}) {
        Sim sim(dir_.string(), chunked ? "--quiet --http-chunked" : "--quiet");
        ASSERT_TRUE(sim.Ready());
        const int s = Connect(sim.Port("http"));
        const std::string request = "GET /?src=1&freq=11494&pol=h&msys=dvbs2&pids=all HTTP/1.1\r\nHost: x\r\n\r\n";
        send(s, request.data(), request.size(), MSG_NOSIGNAL);
        const std::string text = Receive(s, 5s, [](const std::string& t) { return t.size() > 600'000; });
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
        ASSERT_GT(body.size(), 500'000u);
        const auto reference = PacedStream::Reference(PacedStreamSpec{}, body.size());
        EXPECT_TRUE(std::equal(body.begin(), body.end(), reference.begin(),
                               [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
            << (chunked ? "chunked" : "plain");
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
