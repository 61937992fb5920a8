#pragma once
// A UDP port kept for a program the test starts, which binds it itself with
// SO_REUSEADDR: the test's socket holds the port (both families) without taking any of
// the datagrams meant for that program, because it is connected to a peer that never
// sends.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class ReservedUdpPort {
public:
    ReservedUdpPort() {
        fd_ = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int on = 1, off = 0;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        socklen_t size = sizeof any;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&any), &size) != 0)
            return;
        port_ = ntohs(any.sin6_port);
        sockaddr_in6 silent{};
        silent.sin6_family = AF_INET6;
        silent.sin6_addr = in6addr_loopback;
        silent.sin6_port = htons(9);  // discard: nothing sends from there
        connect(fd_, reinterpret_cast<sockaddr*>(&silent), sizeof silent);
    }
    ~ReservedUdpPort() {
        if (fd_ >= 0) close(fd_);
    }
    ReservedUdpPort(const ReservedUdpPort&) = delete;
    ReservedUdpPort& operator=(const ReservedUdpPort&) = delete;

    // 0 when no port could be had.
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};
