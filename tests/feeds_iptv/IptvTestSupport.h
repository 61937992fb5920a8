#pragma once
// Senders, the recorder and private network namespaces for the IPTV
// feed tests. Nothing here sends anywhere but loopback or a namespace of the test's own.
#include <netinet/in.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/Sockets.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/SampleRecorder.h"
#include "tests/support/WaitUntil.h"

namespace iptvtest {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Whole transport packets whose bytes differ from packet to packet.
inline Bytes Packets(size_t count, uint8_t seed) {
    Bytes b(count * 188);
    for (size_t i = 0; i < b.size(); ++i) b[i] = (i % 188 == 0) ? 0x47 : static_cast<uint8_t>(seed + i * 13 + (i >> 9));
    return b;
}

inline Bytes Rtp(int sequence, const Bytes& payload, uint8_t payloadType = 33) {
    Bytes d = {0x80, payloadType, static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence),
               0, 0, 0, 9, 0x11, 0x22, 0x33, 0x44};
    for (uint8_t b : payload) d.push_back(b);
    return d;
}

inline NetAddress V6(uint8_t first, uint8_t second, uint8_t last, uint16_t port) {
    uint8_t b[16] = {first, second};
    b[15] = last;
    return MakeIPv6Address(b, port);
}

inline NetAddress LoopbackAddress(int family, uint16_t port) {
    const uint8_t six[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return family == kNetFamilyIPv4 ? MakeIPv4Address(INADDR_LOOPBACK, port) : MakeIPv6Address(six, port);
}

// Multicast leaves only through the interface the sender is pinned to, one hop at most.
class Sender {
public:
    explicit Sender(int family) : s_(SocketCreate(family, SOCK_DGRAM)) {}
    ~Sender() { SocketClose(s_); }

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

using Recorder = SampleRecorder;

}  // namespace iptvtest
