#include "net/Sockets.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "net/SocketErrorText.h"
#include "tests/net/ReceivedData.h"

namespace {

using nettest::BoundTo;
using nettest::Closing;
using nettest::Loopback;

std::string ErrorText() { return SocketErrorText(LastSocketError()); }

TEST(Sockets, TcpOverLoopbackWithHalfClose) {
    Closing listener{SocketCreate(kNetFamilyIPv4, SOCK_STREAM)};
    ASSERT_EQ(0, SocketBind(listener.s, Loopback(kNetFamilyIPv4)));
    ASSERT_EQ(0, SocketListen(listener.s, 4));
    Closing client{SocketCreate(kNetFamilyIPv4, SOCK_STREAM)};
    ASSERT_EQ(0, SocketConnect(client.s, BoundTo(listener.s)));
    NetAddress peer;
    Closing accepted{SocketAccept(listener.s, peer)};
    ASSERT_NE(kInvalidSocket, accepted.s);
    EXPECT_EQ(BoundTo(client.s), peer);

    const std::string request = "OPTIONS rtsp://127.0.0.1/ RTSP/1.0\r\nCSeq: 1\r\n\r\n";
    ASSERT_EQ(static_cast<int>(request.size()), SocketSend(client.s, request.data(), static_cast<int>(request.size())));
    ASSERT_EQ(0, SocketShutdownSend(client.s));
    std::string received;
    char buffer[7];  // small, to read in pieces
    for (int n; (n = SocketRecv(accepted.s, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<size_t>(n));
    EXPECT_EQ(request, received);
    // Only the sending side is shut: the client still reads the answer.
    ASSERT_EQ(2, SocketSend(accepted.s, "ok", 2));
    ASSERT_EQ(2, SocketRecv(client.s, buffer, sizeof buffer));
    // Sending after the shutdown fails with an error instead of ending the process.
    EXPECT_EQ(-1, SocketSend(client.s, "x", 1));
    EXPECT_EQ(10058, LastSocketError());
}

TEST(Sockets, FailuresReadAsTheRightCondition) {
    const char* const kNoFamily = "WSAEAFNOSUPPORT - Address family not supported by protocol family.";
    EXPECT_EQ(kInvalidSocket, SocketCreate(10, SOCK_DGRAM));  // this platform's own number is not accepted
    EXPECT_EQ(kNoFamily, ErrorText());
    Closing udp{SocketCreate(kNetFamilyIPv4, SOCK_DGRAM)};
    const NetAddress none;  // all zero: the system would take it as the wildcard address
    EXPECT_EQ(-1, SocketBind(udp.s, none));
    EXPECT_EQ(kNoFamily, ErrorText());
    EXPECT_EQ(-1, SocketConnect(udp.s, none));
    EXPECT_EQ(kNoFamily, ErrorText());
    EXPECT_EQ(-1, SocketSendTo(udp.s, "x", 1, none));
    EXPECT_EQ(kNoFamily, ErrorText());

    char b[1];
    EXPECT_EQ(-1, SocketRecv(udp.s, b, -1));
    EXPECT_EQ(10022, LastSocketError());
    const int one = 1;
    EXPECT_EQ(-1, SocketSetOption(udp.s, SOL_SOCKET, SO_REUSEADDR, &one, -4));
    EXPECT_EQ(10022, LastSocketError());
    NetAddress from = MakeIPv4Address(0x01020304, 5);
    EXPECT_EQ(-1, SocketRecvFrom(kInvalidSocket, b, 1, from));
    EXPECT_EQ(10009, LastSocketError());
    EXPECT_EQ(MakeIPv4Address(0x01020304, 5), from) << "a failed receive names no sender";
}

TEST(JoinGroupWithFallback, OtherFailuresAreNotRetried) {
    Closing s{SocketCreate(kNetFamilyIPv4, SOCK_DGRAM)};
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(0x0A000001);  // not a group
    EXPECT_EQ(-1, JoinGroupWithFallback(s.s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request));
    EXPECT_EQ(10022, LastSocketError());
    EXPECT_EQ(0u, request.imr_interface.s_addr);
    int yes = 1;
    EXPECT_EQ(0, JoinGroupWithFallback(s.s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes));
}

// Judges an interface list laid out the way the system lays one out.
struct Interface {
    const char* name;
    unsigned flags;
    int family;
    const char* ipv4 = nullptr;
};
uint32_t FirstActiveOf(const std::vector<Interface>& list) {
    std::vector<sockaddr_in> addresses(list.size());
    std::vector<ifaddrs> nodes(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        addresses[i].sin_family = static_cast<sa_family_t>(list[i].family);
        if (list[i].ipv4) inet_pton(AF_INET, list[i].ipv4, &addresses[i].sin_addr);
        nodes[i] = {i + 1 < list.size() ? &nodes[i + 1] : nullptr, const_cast<char*>(list[i].name), list[i].flags,
                    reinterpret_cast<sockaddr*>(&addresses[i]), nullptr, {}, nullptr};
    }
    return FirstActiveIPv4AddressIn(nodes.empty() ? nullptr : nodes.data());
}

TEST(FirstActiveIPv4Address, FirstRunningNonLoopbackInterfaceByItsFirstAddress) {
    constexpr unsigned kActive = IFF_UP | IFF_RUNNING;
    EXPECT_EQ(0u, FirstActiveOf({}));
    EXPECT_EQ(0u, FirstActiveOf({{"lo", kActive | IFF_LOOPBACK, AF_INET, "127.0.0.1"},
                                 {"eth0", kActive, AF_PACKET},
                                 {"eth0", kActive, AF_INET6},
                                 {"eth0", kActive, AF_INET, "10.9.9.9"}}));  // not its first address
    EXPECT_EQ(0xC000020Au, FirstActiveOf({{"lo", kActive | IFF_LOOPBACK, AF_INET, "127.0.0.1"},
                                          {"down0", IFF_UP, AF_INET, "10.0.0.1"},  // up, no carrier
                                          {"off0", 0, AF_INET, "10.0.0.2"},
                                          {"eth0", kActive, AF_INET, "192.0.2.10"},
                                          {"eth0", kActive, AF_INET, "192.0.2.11"},
                                          {"eth1", kActive, AF_INET, "198.51.100.1"}}));
}

TEST(SocketErrorText, ExactTextsAndTheUnknownCode) {
    EXPECT_STREQ("WSA_INVALID_HANDLE - Specified event object handle is invalid.", SocketErrorText(6));
    EXPECT_STREQ("WSA_IO_PENDING - Overlapped operations will complete later. ", SocketErrorText(997));
    EXPECT_STREQ("WSAEINTR - Interrupted function call.", SocketErrorText(10004));
    EXPECT_STREQ("WSAEHOSTUNREACH - No route to host.", SocketErrorText(10065));
    EXPECT_STREQ("WSA_E_NO_MORE - No more results.", SocketErrorText(10110));
    EXPECT_STREQ("WSANO_DATA - Valid name, no data record of requested type.", SocketErrorText(11004));
    for (int code : {0, -1, 7, 10000, 10005, 10072, 10090, 10113, 11000, 11005, 0x7FFFFFFF}) {
        EXPECT_STREQ("[unknown]", SocketErrorText(code)) << code;
    }
}

TEST(SocketErrorFromErrno, SystemNumbersNameTheSameCondition) {
    // Address in use or not here, and a broken pipe, are read by the socket tests.
    for (auto [err, code] : {std::pair{0, 0}, {EWOULDBLOCK, 10035}, {ENOTSUP, 10045}, {EPERM, 10013}, {ENOMEM, 8},
                             {ENODEV, 10065}}) {  // ENODEV: a join with no interface towards the group
        EXPECT_EQ(code, SocketErrorFromErrno(err)) << err;
    }
    // Numbers without a counterpart still read as a failure, never as "[unknown]".
    EXPECT_STREQ("WSASYSCALLFAILURE - System call failure.", SocketErrorText(SocketErrorFromErrno(ENOEXEC)));
    for (int err = 1; err < 134; ++err) {
        EXPECT_STRNE("[unknown]", SocketErrorText(SocketErrorFromErrno(err))) << err << " " << std::strerror(err);
    }
    errno = ETIMEDOUT;
    EXPECT_EQ(10060, LastSocketError());
}

}  // namespace
