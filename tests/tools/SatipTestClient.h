#pragma once
// A SAT>IP client's side of the simulator's tests: RTSP requests over a TCP connection,
// RTP and RTCP datagrams on UDP sockets, and the fields a test looks at.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace satip_test {

using namespace std::chrono_literals;

inline int Connect(uint16_t port) {
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
inline std::string Receive(int s, std::chrono::milliseconds limit, const std::function<bool(const std::string&)>& enough) {
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
inline bool WholeReply(const std::string& text) {
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

inline std::string Header(const std::string& reply, const std::string& name) {
    const size_t at = reply.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 4;
    return reply.substr(start, reply.find("\r\n", start) - start);
}
inline std::string SessionOf(const std::string& reply) {
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
inline std::string Ses1Text(const std::vector<uint8_t>& r) {
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

inline std::set<unsigned> PidsOf(const std::vector<uint8_t>& payload) {
    std::set<unsigned> pids;
    for (size_t at = 0; at + 188 <= payload.size(); at += 188) pids.insert(((payload[at + 1] & 0x1Fu) << 8) | payload[at + 2]);
    return pids;
}

constexpr char kTune[] = "/?src=1&freq=11494&pol=h&ro=0.35&msys=dvbs2&mtype=8psk&plts=on&sr=22000&fec=34";

inline std::string UnicastTransport(const Udp& rtp, const Udp& rtcp) {
    return "Transport: RTP/AVP;unicast;client_port=" + std::to_string(rtp.port) + "-" + std::to_string(rtcp.port) + "\r\n";
}


}  // namespace satip_test
