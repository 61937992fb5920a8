#include "tools/satip-sim/SsdpServer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// Hops that multicast announcements may travel, as UPnP asks.
constexpr int kSsdpTtl = 2;

sockaddr_in GroupAddress() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kSsdpPort);
    inet_pton(AF_INET, kSsdpGroup, &a.sin_addr);
    return a;
}

}  // namespace

SsdpServer::SsdpServer(SimState& state, const DeviceIdentity& device, const std::vector<in_addr>& interfaces,
                       unsigned notifyIntervalSeconds)
    : state_(state), device_(device), interfaces_(interfaces), interval_(notifyIntervalSeconds) {}

SsdpServer::~SsdpServer() {
    if (thread_.joinable()) thread_.join();
    if (receiver_ >= 0) close(receiver_);
    for (int s : senders_) close(s);
}

bool SsdpServer::Start(std::string* error) {
    receiver_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    // Clients on the same machine listen on the SSDP port too.
    setsockopt(receiver_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(receiver_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(kSsdpPort);
    if (bind(receiver_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        *error = std::string("cannot bind the SSDP port 1900: ") + std::strerror(errno);
        return false;
    }
    const sockaddr_in group = GroupAddress();
    for (const in_addr& address : interfaces_) {
        ip_mreq join{group.sin_addr, address};
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &address, text, sizeof text);
        if (setsockopt(receiver_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
            *error = std::string("cannot join the SSDP group on ") + text + ": " + std::strerror(errno);
            return false;
        }
        const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, &address, sizeof address);
        setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &kSsdpTtl, sizeof kSsdpTtl);
        setsockopt(s, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on);
        senders_.push_back(s);
    }
    Announce(true);
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SsdpServer::Stop(bool byebye) {
    if (thread_.joinable()) thread_.join();
    if (byebye) Announce(false);
}

void SsdpServer::Announce(bool alive) {
    const sockaddr_in group = GroupAddress();
    for (int s : senders_)
        for (const std::string& target : NotifyTargets(device_)) {
            const std::string text = NotifyMessage(device_, target, alive);
            sendto(s, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&group), sizeof group);
        }
}

void SsdpServer::Run() {
    using Clock = std::chrono::steady_clock;
    auto nextNotify = Clock::now() + std::chrono::seconds(interval_);
    while (!state_.stopping) {
        pollfd p{receiver_, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[2048];
            sockaddr_in sender{};
            socklen_t length = sizeof sender;
            const ssize_t got =
                recvfrom(receiver_, buffer, sizeof buffer - 1, 0, reinterpret_cast<sockaddr*>(&sender), &length);
            if (got > 0)
                for (const std::string& answer : SearchAnswers(device_, std::string(buffer, static_cast<size_t>(got))))
                    sendto(receiver_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&sender),
                           sizeof sender);
        }
        if (Clock::now() >= nextNotify) {
            Announce(true);
            nextNotify = Clock::now() + std::chrono::seconds(interval_);
        }
    }
}
