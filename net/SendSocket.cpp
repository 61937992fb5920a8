#include "net/SendSocket.h"

#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace {

int SetInt(SocketHandle s, int level, int option, int value) {
    return SocketSetOption(s, level, option, &value, sizeof value);
}

// How long one wait for room in the send buffer may take before trying again anyway.
constexpr int kRoomWaitMs = 10;

}  // namespace

bool UdpSendSocket::Open(const SendSocketRequest& request, SendSocketError& error) {
    Close();
    error = {};
    const auto fail = [&](const char* operation) {
        error = {operation, errno};
        Close();
        return false;
    };
    if (NetAddressPort(request.destination) == 0) {
        errno = EDESTADDRREQ;
        return fail("sendto()");
    }
    socket_ = SocketCreate(request.destination.family, SOCK_DGRAM);
    if (socket_ == kInvalidSocket) return fail("socket()");
    destination_ = request.destination;
    if (!IsMulticast(destination_)) return true;
    unsigned index = request.interfaceIndex;
    if (!request.interfaceName.empty()) {
        index = ::if_nametoindex(request.interfaceName.c_str());
        if (index == 0) return fail("if_nametoindex()");
    }

    if (destination_.family == kNetFamilyIPv6) {
        if (SetInt(socket_, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, request.ttl) != 0) {
            return fail("setsockopt(IPV6_MULTICAST_HOPS)");
        }
        if (index != 0 && SocketSetOption(socket_, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) != 0) {
            return fail("setsockopt(IPV6_MULTICAST_IF)");
        }
        return true;
    }
    if (SetInt(socket_, IPPROTO_IP, IP_MULTICAST_TTL, request.ttl) != 0) return fail("setsockopt(IP_MULTICAST_TTL)");
    if (index != 0 || request.interfaceAddress.family == kNetFamilyIPv4) {
        ip_mreqn choice{};
        choice.imr_ifindex = static_cast<int>(index);
        if (index == 0) std::memcpy(&choice.imr_address, request.interfaceAddress.address, 4);
        if (SocketSetOption(socket_, IPPROTO_IP, IP_MULTICAST_IF, &choice, sizeof choice) != 0) {
            return fail("setsockopt(IP_MULTICAST_IF)");
        }
    }
    return true;
}

int UdpSendSocket::Send(const uint8_t* data, size_t length) {
    if (socket_ == kInvalidSocket) return EBADF;
    for (;;) {
        if (SocketSendTo(socket_, data, static_cast<int>(length), destination_) >= 0) return 0;
        if (errno != ENOBUFS && errno != EAGAIN) return errno;
        pollfd room{socket_, POLLOUT, 0};
        ::poll(&room, 1, kRoomWaitMs);
    }
}

void UdpSendSocket::Close() {
    if (socket_ != kInvalidSocket) SocketClose(socket_);
    socket_ = kInvalidSocket;
}
