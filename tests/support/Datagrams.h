#pragma once
// Datagrams the receiver tests send, and a sender that cannot send multicast anywhere
// but the interface it was pinned to.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <vector>

#include "net/Sockets.h"

namespace nettest {

using Bytes = std::vector<uint8_t>;

// The fixed 12-byte header; first holds version and flags, second marker and payload type.
inline Bytes Rtp(int sequence, const Bytes& payload, uint8_t first = 0x80, uint8_t second = 33) {
    Bytes d = {first, second, static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence),
               0, 0, 0, 1, 0xDE, 0xAD, 0xBE, 0xEF};
    // A loop, not insert: g++ 12 at -O2 takes insert past the 12-byte start for an overrun.
    for (uint8_t b : payload) d.push_back(b);
    return d;
}

inline NetAddress Loopback(int family, uint16_t port = 0) {
    const uint8_t six[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return family == kNetFamilyIPv4 ? MakeIPv4Address(INADDR_LOOPBACK, port) : MakeIPv6Address(six, port);
}

// Multicast leaves only through the interface the sender is pinned to, one hop at most.
class Sender {
public:
    explicit Sender(int family) : s_(SocketCreate(family, SOCK_DGRAM)) {}
    ~Sender() { SocketClose(s_); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    SocketHandle Get() const { return s_; }
    bool BindTo(const NetAddress& local) { return SocketBind(s_, local) == 0; }
    uint16_t LocalPort() {
        NetAddress local{};
        return SocketLocalAddress(s_, local) == 0 ? NetAddressPort(local) : 0;
    }
    bool PinIPv4(uint32_t interfaceAddress) {
        const in_addr local{htonl(interfaceAddress)};
        const int ttl = 1;
        return pinned_ = SocketSetOption(s_, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local) == 0 &&
                         SocketSetOption(s_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0;
    }
    bool PinIPv6(unsigned interfaceIndex) {
        const int hops = 1;
        return pinned_ = interfaceIndex != 0 &&
                         SocketSetOption(s_, IPPROTO_IPV6, IPV6_MULTICAST_IF, &interfaceIndex, sizeof interfaceIndex) == 0 &&
                         SocketSetOption(s_, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops) == 0;
    }
    int Send(const NetAddress& to, const Bytes& d) {
        if (IsMulticast(to) && !pinned_) return -2;
        return SocketSendTo(s_, d.data(), static_cast<int>(d.size()), to);
    }

private:
    SocketHandle s_;
    bool pinned_ = false;
};

}  // namespace nettest
