#include "net/Sockets.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>

#include "net/SocketErrorText.h"

namespace {

constexpr int kNoRouteToHost = 10065;

// Converts, or fails with "address family not supported" instead of handing an empty
// address to the system, which would take it as the wildcard or as a disconnect.
bool ToSockaddr(const NetAddress& address, sockaddr_storage& storage, socklen_t& length) {
    length = NetAddressToSockaddr(address, storage);
    if (length == 0) {
        errno = EAFNOSUPPORT;
        return false;
    }
    return true;
}

// A signal that lands in a blocking call must not end a transfer; the other platform
// has no such interruption.
template <class Call>
auto RetryInterrupted(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

bool BadLength(int length) {
    if (length >= 0) return false;
    errno = EINVAL;
    return true;
}

}  // namespace

SocketHandle SocketCreate(int family, int type, int protocol) {
    int osFamily;
    if (family == kNetFamilyIPv4) {
        osFamily = AF_INET;
    } else if (family == kNetFamilyIPv6) {
        osFamily = AF_INET6;
    } else {
        errno = EAFNOSUPPORT;
        return kInvalidSocket;
    }
    return ::socket(osFamily, type | SOCK_CLOEXEC, protocol);
}

int SocketBind(SocketHandle socket, const NetAddress& address) {
    sockaddr_storage storage;
    socklen_t length;
    if (!ToSockaddr(address, storage, length)) return -1;
    return ::bind(socket, reinterpret_cast<const sockaddr*>(&storage), length);
}

int SocketConnect(SocketHandle socket, const NetAddress& address) {
    sockaddr_storage storage;
    socklen_t length;
    if (!ToSockaddr(address, storage, length)) return -1;
    return ::connect(socket, reinterpret_cast<const sockaddr*>(&storage), length);
}

int SocketSend(SocketHandle socket, const void* data, int length) {
    if (BadLength(length)) return -1;
    // A peer that has gone must give an error, not end the process with a signal.
    return static_cast<int>(
        RetryInterrupted([&] { return ::send(socket, data, static_cast<size_t>(length), MSG_NOSIGNAL); }));
}

int SocketSendTo(SocketHandle socket, const void* data, int length, const NetAddress& to) {
    if (BadLength(length)) return -1;
    sockaddr_storage storage;
    socklen_t addressLength;
    if (!ToSockaddr(to, storage, addressLength)) return -1;
    return static_cast<int>(RetryInterrupted([&] {
        return ::sendto(socket, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&storage), addressLength);
    }));
}

int SocketRecv(SocketHandle socket, void* buffer, int capacity) {
    if (BadLength(capacity)) return -1;
    return static_cast<int>(RetryInterrupted([&] { return ::recv(socket, buffer, static_cast<size_t>(capacity), 0); }));
}

int SocketRecvFrom(SocketHandle socket, void* buffer, int capacity, NetAddress& sender) {
    if (BadLength(capacity)) return -1;
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    const auto result = static_cast<int>(RetryInterrupted([&] {
        length = sizeof storage;
        return ::recvfrom(socket, buffer, static_cast<size_t>(capacity), 0, reinterpret_cast<sockaddr*>(&storage),
                          &length);
    }));
    if (result >= 0) sender = NetAddressFromSockaddr(reinterpret_cast<const sockaddr*>(&storage));
    return result;
}

int SocketListen(SocketHandle socket, int backlog) { return ::listen(socket, backlog); }

SocketHandle SocketAccept(SocketHandle socket, NetAddress& peer) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    const int result = RetryInterrupted([&] {
        length = sizeof storage;
        return ::accept4(socket, reinterpret_cast<sockaddr*>(&storage), &length, SOCK_CLOEXEC);
    });
    if (result >= 0) peer = NetAddressFromSockaddr(reinterpret_cast<const sockaddr*>(&storage));
    return result;
}

int SocketShutdownSend(SocketHandle socket) { return ::shutdown(socket, SHUT_WR); }

int SocketClose(SocketHandle socket) {
    // Closing alone leaves a blocked receive waiting here; shutting down first wakes it
    // (an unconnected datagram socket reports "not connected" but still wakes).
    const int saved = errno;
    ::shutdown(socket, SHUT_RDWR);
    errno = saved;
    return ::close(socket);
}

int SocketLocalAddress(SocketHandle socket, NetAddress& address) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    const int result = ::getsockname(socket, reinterpret_cast<sockaddr*>(&storage), &length);
    if (result == 0) address = NetAddressFromSockaddr(reinterpret_cast<const sockaddr*>(&storage));
    return result;
}

int SocketSetOption(SocketHandle socket, int level, int option, const void* value, int length) {
    if (BadLength(length)) return -1;
    return ::setsockopt(socket, level, option, value, static_cast<socklen_t>(length));
}

int JoinGroupWithFallback(SocketHandle socket, int level, int option, void* value, int length) {
    const int result = SocketSetOption(socket, level, option, value, length);
    if (result == 0) return result;
    if (level != IPPROTO_IP || option != IP_ADD_MEMBERSHIP || length != static_cast<int>(sizeof(ip_mreq)) || !value) {
        return result;
    }
    if (LastSocketError() != kNoRouteToHost) return result;
    auto* request = static_cast<ip_mreq*>(value);
    if (request->imr_interface.s_addr != 0) return result;
    request->imr_interface.s_addr = htonl(FirstActiveIPv4Address());
    return SocketSetOption(socket, level, option, value, length);
}

uint32_t FirstActiveIPv4AddressIn(const ifaddrs* list) {
    // An interface counts by its first address; later addresses of one already judged
    // are passed over.
    std::set<std::string> judged;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !entry->ifa_name) continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        if (!judged.insert(entry->ifa_name).second) continue;
        if (family != AF_INET) continue;
        if (entry->ifa_flags & IFF_LOOPBACK) continue;
        if ((entry->ifa_flags & (IFF_UP | IFF_RUNNING)) != (IFF_UP | IFF_RUNNING)) continue;
        sockaddr_in in;
        std::memcpy(&in, entry->ifa_addr, sizeof in);
        return ntohl(in.sin_addr.s_addr);
    }
    return 0;
}

uint32_t FirstActiveIPv4Address() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return 0;
    const uint32_t address = FirstActiveIPv4AddressIn(list);
    ::freeifaddrs(list);
    return address;
}

bool LocalIPv4AddressList(std::vector<NetAddress>& addresses) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    addresses.clear();
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        NetAddress address = NetAddressFromSockaddr(entry->ifa_addr);
        address.port = 0;
        addresses.push_back(address);
    }
    ::freeifaddrs(list);
    return true;
}
