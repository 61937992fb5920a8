#include "net/ReceiveSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "net/InterfaceList.h"
#include "net/SocketErrorText.h"

namespace {

constexpr uint32_t kLoopbackIPv4 = 0x7F000001;

int SetInt(SocketHandle s, int level, int option, int value) {
    return SocketSetOption(s, level, option, &value, sizeof value);
}

bool IsZeroAddress(const NetAddress& address) {
    static constexpr uint8_t zero[16] = {};
    return std::memcmp(address.address, zero, sizeof zero) == 0;
}

// The index of the interface that holds this IPv6 address; 0 when none does.
unsigned InterfaceIndexOfIPv6(const NetAddress& address) {
    std::vector<NetInterface> interfaces;
    if (!ListNetInterfaces(&interfaces, nullptr)) return 0;
    for (const NetInterface& item : interfaces) {
        for (const NetAddress& held : item.addresses) {
            if (held.family == kNetFamilyIPv6 && std::memcmp(held.address, address.address, 16) == 0) return item.index;
        }
    }
    return 0;
}

sockaddr_storage ToStorage(const NetAddress& address) {
    sockaddr_storage storage;
    NetAddressToSockaddr(address, storage);
    return storage;
}

class Opener {
public:
    Opener(const ReceiveSocketRequest& request, ReceiveSocketError& error) : r_(request), error_(error) {}

    SocketHandle Open() {
        error_ = {};
        const NetAddress& address = r_.address;
        const bool multicast = IsMulticast(address);
        if (r_.requireLocalUnicast && !multicast && address.family == kNetFamilyIPv4 &&
            !IsLocalIPv4Address(NetAddressIPv4(address))) {
            return FailWith(ReceiveSocketFailure::NotLocalUnicast);
        }
        s_ = SocketCreate(address.family, SOCK_DGRAM, r_.protocol);
        if (s_ == kInvalidSocket) return Fail("socket()");

        if (r_.largeReceiveBuffer) {
            // Beyond the system's ceiling only with privilege; without it the plain
            // option grants what the ceiling allows.
            if (SetInt(s_, SOL_SOCKET, SO_RCVBUFFORCE, kReceiveSocketBufferBytes) != 0 &&
                SetInt(s_, SOL_SOCKET, SO_RCVBUF, kReceiveSocketBufferBytes) != 0) {
                return Fail("setsockopt(SO_RCVBUF)");
            }
        }
        if (r_.shareAndFilter && SetInt(s_, SOL_SOCKET, SO_REUSEADDR, 1) != 0 && r_.reuseRequired) {
            return Fail("setsockopt(SO_REUSEADDR)");
        }
        // IPv6 sockets of the desktop platform take IPv6 alone.
        if (address.family == kNetFamilyIPv6) SetInt(s_, IPPROTO_IPV6, IPV6_V6ONLY, 1);

        NetAddress bindAddress = address;
        if (multicast) {
            std::memset(bindAddress.address, 0, sizeof bindAddress.address);
            // Otherwise every group joined anywhere on this host with this port
            // arrives here, which the desktop platform never does.
            if (r_.shareAndFilter) {
                if (address.family == kNetFamilyIPv4) {
                    SetInt(s_, IPPROTO_IP, IP_MULTICAST_ALL, 0);
                } else {
                    SetInt(s_, IPPROTO_IPV6, IPV6_MULTICAST_ALL, 0);
                }
            }
        }
        if (SocketBind(s_, bindAddress) != 0) {
            std::string where;
            FormatNetAddress(bindAddress, where, true);
            return Fail("bind(" + where + ")\r\n");
        }
        if (multicast && !Join()) return kInvalidSocket;
        return s_;
    }

private:
    SocketHandle Fail(std::string operation) {
        error_.failure = ReceiveSocketFailure::Operation;
        error_.operation = std::move(operation);
        error_.errorCode = LastSocketError();
        return Close();
    }

    SocketHandle FailWith(ReceiveSocketFailure failure) {
        error_.failure = failure;
        errno = EADDRNOTAVAIL;
        return Close();
    }

    // Leaves errno as the failure set it, for callers that read LastSocketError().
    SocketHandle Close() {
        const int saved = errno;
        if (s_ != kInvalidSocket) SocketClose(s_);
        s_ = kInvalidSocket;
        errno = saved;
        return kInvalidSocket;
    }

    bool SetJoin(int level, int option, void* value, int length, const char* operation) {
        if (JoinGroupWithFallback(s_, level, option, value, length) == 0) return true;
        Fail(operation);
        return false;
    }

    bool Join() {
        const NetAddress& group = r_.address;
        const NetAddress& source = r_.source;
        // A multicast "source" asks for no source filter.
        const bool sourceSpecific = r_.sourceSpecific && !IsMulticast(source);
        if (sourceSpecific && source.family != group.family) {
            FailWith(ReceiveSocketFailure::SourceFamily);
            return false;
        }
        unsigned index = r_.interfaceIndex;
        if (group.family == kNetFamilyIPv6 && index == 0 && r_.interfaceAddress.family == kNetFamilyIPv6 &&
            !IsZeroAddress(r_.interfaceAddress)) {
            index = InterfaceIndexOfIPv6(r_.interfaceAddress);
            if (index == 0) {
                FailWith(ReceiveSocketFailure::NoSuchInterface);
                return false;
            }
        }
        const bool ipv4 = group.family == kNetFamilyIPv4;
        const int level = ipv4 ? IPPROTO_IP : IPPROTO_IPV6;
        if (ipv4 && index == 0) return JoinIPv4(sourceSpecific);
        if (sourceSpecific) {
            group_source_req request{};
            request.gsr_interface = index;
            request.gsr_group = ToStorage(group);
            request.gsr_source = ToStorage(source);
            return SetJoin(level, MCAST_JOIN_SOURCE_GROUP, &request, sizeof request,
                           "setsockopt(MCAST_JOIN_SOURCE_GROUP)");
        }
        if (ipv4) {
            ip_mreqn request{};
            std::memcpy(&request.imr_multiaddr, group.address, 4);
            request.imr_ifindex = static_cast<int>(index);
            return SetJoin(level, IP_ADD_MEMBERSHIP, &request, sizeof request, "setsockopt(IP_ADD_MEMBERSHIP)");
        }
        ipv6_mreq request{};
        std::memcpy(&request.ipv6mr_multiaddr, group.address, 16);
        request.ipv6mr_interface = index;
        return SetJoin(level, IPV6_ADD_MEMBERSHIP, &request, sizeof request, "setsockopt(IPV6_ADD_MEMBERSHIP)");
    }

    bool JoinIPv4(bool sourceSpecific) {
        // An interface of no family, or of the other family, leaves the choice to the system.
        in_addr local{};
        if (r_.interfaceAddress.family == kNetFamilyIPv4) std::memcpy(&local, r_.interfaceAddress.address, 4);
        if (sourceSpecific) {
            ip_mreq_source request{};
            std::memcpy(&request.imr_multiaddr, r_.address.address, 4);
            std::memcpy(&request.imr_sourceaddr, r_.source.address, 4);
            request.imr_interface = local;
            return SetJoin(IPPROTO_IP, IP_ADD_SOURCE_MEMBERSHIP, &request, sizeof request,
                           "setsockopt(IP_ADD_SOURCE_MEMBERSHIP)");
        }
        ip_mreq request{};
        std::memcpy(&request.imr_multiaddr, r_.address.address, 4);
        request.imr_interface = local;
        return SetJoin(IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request, "setsockopt(IP_ADD_MEMBERSHIP)");
    }

    const ReceiveSocketRequest& r_;
    ReceiveSocketError& error_;
    SocketHandle s_ = kInvalidSocket;
};

}  // namespace

bool IsLocalIPv4Address(uint32_t address) {
    if (address == kLoopbackIPv4) return true;
    std::vector<NetAddress> local;
    if (!LocalIPv4AddressList(local)) return false;
    return std::find(local.begin(), local.end(), MakeIPv4Address(address, 0)) != local.end();
}

SocketHandle OpenReceiveSocket(const ReceiveSocketRequest& request, ReceiveSocketError& error) {
    return Opener(request, error).Open();
}
