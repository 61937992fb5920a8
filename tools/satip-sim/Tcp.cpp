#include "tools/satip-sim/Tcp.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr int kPollMs = 100;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Bytes read into *buffer; 0 when the peer closed, -1 on error or stop.
ssize_t ReadSome(const std::atomic<bool>& stopping, int socket, std::string* buffer) {
    for (;;) {
        if (stopping) return -1;
        pollfd p{socket, POLLIN, 0};
        const int ready = poll(&p, 1, kPollMs);
        if (ready < 0 && errno != EINTR) return -1;
        if (ready <= 0) continue;
        char chunk[4096];
        const ssize_t got = recv(socket, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got > 0) buffer->append(chunk, static_cast<size_t>(got));
        return got;
    }
}

}  // namespace

int ListenTcp(in_addr address, uint16_t port, uint16_t* bound, std::string* error) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr = address;
    a.sin_port = htons(port);
    socklen_t length = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 32) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        *error = "cannot listen on TCP port " + std::to_string(port) + ": " + std::strerror(errno);
        close(s);
        return -1;
    }
    *bound = ntohs(a.sin_port);
    return s;
}

HeadResult ReadHead(const std::atomic<bool>& stopping, int socket, std::string* buffer, std::string* head,
                    size_t limit) {
    for (;;) {
        // Blank lines between messages are allowed and skipped.
        while (buffer->rfind("\r\n", 0) == 0) buffer->erase(0, 2);
        const size_t end = buffer->find("\r\n\r\n");
        if (end != std::string::npos && end + 4 <= limit) {
            *head = buffer->substr(0, end + 4);
            buffer->erase(0, end + 4);
            return HeadResult::Ok;
        }
        if (buffer->size() >= limit) return HeadResult::TooLong;
        const ssize_t got = ReadSome(stopping, socket, buffer);
        if (got == 0) return HeadResult::Closed;
        if (got < 0) return stopping ? HeadResult::Stopped : HeadResult::Closed;
    }
}

bool SkipBody(const std::atomic<bool>& stopping, int socket, std::string* buffer, size_t length) {
    while (buffer->size() < length)
        if (ReadSome(stopping, socket, buffer) <= 0) return false;
    buffer->erase(0, length);
    return true;
}

bool WriteAll(int socket, const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
        const ssize_t sent = send(socket, text.data() + at, text.size() - at, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        at += static_cast<size_t>(sent);
    }
    return true;
}

std::string MessageHead::Get(const std::string& name) const {
    const std::string wanted = Lower(name);
    for (const auto& [key, value] : headers)
        if (Lower(key) == wanted) return value;
    return "";
}

bool MessageHead::Has(const std::string& name) const {
    const std::string wanted = Lower(name);
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return Lower(h.first) == wanted; });
}

bool ParseHead(const std::string& head, MessageHead* message) {
    *message = MessageHead{};
    size_t end = head.find("\r\n");
    const std::string line = head.substr(0, end);
    const size_t a = line.find(' '), b = line.rfind(' ');
    if (a == std::string::npos || b == a) return false;
    message->method = line.substr(0, a);
    message->target = line.substr(a + 1, b - a - 1);
    message->version = line.substr(b + 1);
    if (message->method.empty() || message->target.empty() || message->target.find(' ') != std::string::npos)
        return false;
    size_t at = end + 2;
    while (at < head.size()) {
        end = head.find("\r\n", at);
        if (end == std::string::npos || end == at) break;
        const std::string header = head.substr(at, end - at);
        at = end + 2;
        const size_t colon = header.find(':');
        if (colon == std::string::npos || colon == 0) return false;
        const size_t value = header.find_first_not_of(" \t", colon + 1);
        message->headers.emplace_back(header.substr(0, colon),
                                      value == std::string::npos ? "" : header.substr(value));
    }
    return true;
}

bool TcpServer::Start(in_addr address, uint16_t port, std::string* error) {
    listener_ = ListenTcp(address, port, &port_, error);
    if (listener_ < 0) return false;
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void TcpServer::AcceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, kPollMs) <= 0) continue;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int s = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (s < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.remove_if([](Connection& c) {
            if (!c.done) return false;
            c.thread.join();
            return true;
        });
        Connection& c = connections_.emplace_back();
        c.thread = std::thread([this, s, peer, &c] {
            serve_(s, peer);
            close(s);
            c.done = true;
        });
    }
}

void TcpServer::Stop() {
    if (acceptor_.joinable()) acceptor_.join();
    std::lock_guard lock(mutex_);
    for (Connection& c : connections_) c.thread.join();
    connections_.clear();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
}

void SleepUnlessStopping(const std::atomic<bool>& stopping, unsigned ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(10), end - std::chrono::steady_clock::now()));
}
