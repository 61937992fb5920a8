#include "net/SendSocket.h"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "net/ReceiveSocket.h"
#include "tests/net/ReceivedData.h"

namespace {

using namespace nettest;

int IntOption(SocketHandle s, int level, int option) {
    int value = -1;
    socklen_t length = sizeof value;
    return getsockopt(s, level, option, &value, &length) == 0 ? value : -2;
}

TEST(UdpSendSocket, MulticastHopsAndInterfaceFollowTheRequest) {
    const uint8_t group6[16] = {0xff, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4d, 0x01};
    UdpSendSocket four, six, unicast;
    SendSocketError error;
    SendSocketRequest request;
    request.destination = MakeIPv4Address(0xEFFF4D01, 5000);
    request.ttl = 5;
    request.interfaceAddress = Loopback(kNetFamilyIPv4);
    ASSERT_TRUE(four.Open(request, error)) << error.operation;
    EXPECT_EQ(5, IntOption(four.Handle(), IPPROTO_IP, IP_MULTICAST_TTL));
    in_addr chosen{};
    socklen_t length = sizeof chosen;
    ASSERT_EQ(0, getsockopt(four.Handle(), IPPROTO_IP, IP_MULTICAST_IF, &chosen, &length));
    EXPECT_EQ(htonl(INADDR_LOOPBACK), chosen.s_addr);

    request.destination = MakeIPv6Address(group6, 5000);
    request.ttl = 3;
    request.interfaceIndex = if_nametoindex("lo");
    ASSERT_TRUE(six.Open(request, error)) << error.operation << std::strerror(error.systemError);
    EXPECT_EQ(3, IntOption(six.Handle(), IPPROTO_IPV6, IPV6_MULTICAST_HOPS));
    EXPECT_EQ(static_cast<int>(request.interfaceIndex), IntOption(six.Handle(), IPPROTO_IPV6, IPV6_MULTICAST_IF));

    request.destination = Loopback(kNetFamilyIPv4, 5000);
    ASSERT_TRUE(unicast.Open(request, error));
    EXPECT_EQ(1, IntOption(unicast.Handle(), IPPROTO_IP, IP_MULTICAST_TTL)) << "left at the system's default";
}

TEST(UdpSendSocket, FailuresNameTheStepAndTheSystemError) {
    struct Case {
        const char* what;
        SendSocketRequest request;
        const char* operation;
        int systemError;
    };
    Case cases[] = {
        {"no port", {}, "sendto()", EDESTADDRREQ},
        {"no family", {}, "socket()", EAFNOSUPPORT},
        {"no such interface index", {}, "setsockopt(IP_MULTICAST_IF)", EADDRNOTAVAIL},
        {"no such IPv6 interface index", {}, "setsockopt(IPV6_MULTICAST_IF)", ENODEV},
    };
    const uint8_t group6[16] = {0xff, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4d, 0x01};
    cases[0].request.destination = MakeIPv4Address(0xEFFF4D01, 0);
    cases[1].request.destination.port = 1;
    cases[2].request.destination = MakeIPv4Address(0xEFFF4D01, 5000);
    cases[2].request.interfaceIndex = 999999;
    cases[3].request.destination = MakeIPv6Address(group6, 5000);
    cases[3].request.interfaceIndex = 999999;
    for (const Case& c : cases) {
        UdpSendSocket s;
        SendSocketError error;
        EXPECT_FALSE(s.Open(c.request, error)) << c.what;
        EXPECT_STREQ(c.operation, error.operation) << c.what;
        EXPECT_EQ(c.systemError, error.systemError) << c.what << ": " << std::strerror(error.systemError);
        EXPECT_FALSE(s.IsOpen()) << c.what;
    }
    UdpSendSocket closed;
    const uint8_t byte = 0;
    EXPECT_EQ(EBADF, closed.Send(&byte, 1));
}

// Both ends of this layer: a group on the loopback interface.
TEST(UdpSendSocket, ReachesAReceiverOfTheGroupOnLoopback) {
    ReceiveSocketRequest receive;
    receive.address = MakeIPv4Address(0xEFFF4D02, 0);
    receive.interfaceAddress = Loopback(kNetFamilyIPv4);
    ReceiveSocketError receiveError;
    const SocketHandle r = OpenReceiveSocket(receive, receiveError);
    ASSERT_NE(kInvalidSocket, r) << receiveError.operation;
    const timeval limit{2, 0};
    SocketSetOption(r, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

    SendSocketRequest send;
    send.destination = MakeIPv4Address(0xEFFF4D02, NetAddressPort(BoundTo(r)));
    send.interfaceAddress = Loopback(kNetFamilyIPv4);
    UdpSendSocket s;
    SendSocketError error;
    ASSERT_TRUE(s.Open(send, error));
    const Bytes sent = Pattern(1316, 4);
    ASSERT_EQ(0, s.Send(sent.data(), sent.size()));
    Bytes got(2048);
    got.resize(static_cast<size_t>(std::max(0, SocketRecv(r, got.data(), static_cast<int>(got.size())))));
    EXPECT_EQ(sent, got);
    SocketClose(r);
}

}  // namespace
