#include "net/Sockets.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "net/SocketErrorText.h"

namespace {

const uint8_t kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

class Socket {
public:
    explicit Socket(SocketHandle s) : s_(s) {}
    ~Socket() { if (s_ != kInvalidSocket) SocketClose(s_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SocketHandle get() const { return s_; }

private:
    SocketHandle s_;
};

NetAddress LocalAddress(SocketHandle s) {
    NetAddress a;
    EXPECT_EQ(0, SocketLocalAddress(s, a));
    return a;
}

TEST(Sockets, TcpOverLoopback) {
    Socket listener(SocketCreate(kNetFamilyIPv4, SOCK_STREAM));
    ASSERT_NE(kInvalidSocket, listener.get());
    ASSERT_EQ(0, SocketBind(listener.get(), MakeIPv4Address(INADDR_LOOPBACK, 0)));
    ASSERT_EQ(0, SocketListen(listener.get(), 4));
    const NetAddress server = LocalAddress(listener.get());
    EXPECT_EQ(kNetFamilyIPv4, server.family);
    EXPECT_NE(0, NetAddressPort(server));

    Socket client(SocketCreate(kNetFamilyIPv4, SOCK_STREAM));
    ASSERT_EQ(0, SocketConnect(client.get(), server));
    NetAddress peer;
    Socket accepted(SocketAccept(listener.get(), peer));
    ASSERT_NE(kInvalidSocket, accepted.get());
    EXPECT_EQ(LocalAddress(client.get()), peer);

    const std::string request = "OPTIONS rtsp://127.0.0.1/ RTSP/1.0\r\nCSeq: 1\r\n\r\n";
    ASSERT_EQ(static_cast<int>(request.size()), SocketSend(client.get(), request.data(), static_cast<int>(request.size())));
    ASSERT_EQ(0, SocketShutdownSend(client.get()));
    std::string received;
    char buffer[7];  // small, to read in pieces
    for (int n; (n = SocketRecv(accepted.get(), buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<size_t>(n));
    EXPECT_EQ(request, received);

    // Only the sending side is shut: the client still reads the answer.
    ASSERT_EQ(2, SocketSend(accepted.get(), "ok", 2));
    ASSERT_EQ(2, SocketRecv(client.get(), buffer, sizeof buffer));
    EXPECT_EQ("ok", std::string(buffer, 2));

    // Sending after the shutdown fails with an error instead of ending the process.
    EXPECT_EQ(-1, SocketSend(client.get(), "x", 1));
    EXPECT_EQ(10058, LastSocketError());
}

TEST(Sockets, DatagramSenderIsReportedForBothFamilies) {
    for (const NetAddress& local : {MakeIPv4Address(INADDR_LOOPBACK, 0), MakeIPv6Address(kLoopback6, 0)}) {
        Socket receiver(SocketCreate(local.family, SOCK_DGRAM, IPPROTO_UDP));
        Socket sender(SocketCreate(local.family, SOCK_DGRAM));
        ASSERT_EQ(0, SocketBind(receiver.get(), local));
        ASSERT_EQ(0, SocketBind(sender.get(), local));
        const uint8_t datagram[] = {0x47, 0x1F, 0xFF, 0x10, 0x00};
        ASSERT_EQ(5, SocketSendTo(sender.get(), datagram, 5, LocalAddress(receiver.get())));
        uint8_t buffer[16];
        NetAddress from;
        ASSERT_EQ(5, SocketRecvFrom(receiver.get(), buffer, sizeof buffer, from));
        EXPECT_EQ(0, std::memcmp(datagram, buffer, 5));
        EXPECT_EQ(LocalAddress(sender.get()), from);
    }
}

TEST(Sockets, FailedReceiveLeavesSenderAlone) {
    NetAddress from = MakeIPv4Address(0x01020304, 5);
    const NetAddress before = from;
    uint8_t buffer[4];
    EXPECT_EQ(-1, SocketRecvFrom(kInvalidSocket, buffer, sizeof buffer, from));
    EXPECT_EQ(10009, LastSocketError());
    EXPECT_EQ(before, from);
}

TEST(Sockets, AddressesOfNoFamilyFailInsteadOfMeaningWildcard) {
    EXPECT_EQ(kInvalidSocket, SocketCreate(0, SOCK_DGRAM));
    EXPECT_EQ(10047, LastSocketError());
    EXPECT_EQ(kInvalidSocket, SocketCreate(10, SOCK_DGRAM));  // this platform's own number is not accepted
    EXPECT_EQ(10047, LastSocketError());

    Socket s(SocketCreate(kNetFamilyIPv4, SOCK_DGRAM));
    NetAddress none;  // all zero: the system would bind it as the wildcard address
    EXPECT_EQ(-1, SocketBind(s.get(), none));
    EXPECT_EQ(10047, LastSocketError());
    EXPECT_EQ(-1, SocketConnect(s.get(), none));
    EXPECT_EQ(10047, LastSocketError());
    EXPECT_EQ(-1, SocketSendTo(s.get(), "x", 1, none));
    EXPECT_EQ(10047, LastSocketError());
    EXPECT_STREQ("WSAEAFNOSUPPORT - Address family not supported by protocol family.",
                 SocketErrorText(LastSocketError()));
}

TEST(Sockets, FailuresReadAsTheRightCondition) {
    Socket first(SocketCreate(kNetFamilyIPv4, SOCK_STREAM));
    ASSERT_EQ(0, SocketBind(first.get(), MakeIPv4Address(INADDR_LOOPBACK, 0)));
    ASSERT_EQ(0, SocketListen(first.get(), 1));
    Socket second(SocketCreate(kNetFamilyIPv4, SOCK_STREAM));
    EXPECT_EQ(-1, SocketBind(second.get(), LocalAddress(first.get())));
    EXPECT_STREQ("WSAEADDRINUSE - Address already in use.", SocketErrorText(LastSocketError()));

    // A port that nobody listens on any more.
    NetAddress gone;
    {
        Socket listener(SocketCreate(kNetFamilyIPv4, SOCK_STREAM));
        ASSERT_EQ(0, SocketBind(listener.get(), MakeIPv4Address(INADDR_LOOPBACK, 0)));
        ASSERT_EQ(0, SocketListen(listener.get(), 1));
        gone = LocalAddress(listener.get());
    }
    Socket client(SocketCreate(kNetFamilyIPv4, SOCK_STREAM));
    EXPECT_EQ(-1, SocketConnect(client.get(), gone));
    EXPECT_STREQ("WSAECONNREFUSED - Connection refused.", SocketErrorText(LastSocketError()));

    Socket other(SocketCreate(kNetFamilyIPv4, SOCK_DGRAM));
    EXPECT_EQ(-1, SocketBind(other.get(), MakeIPv4Address(0xCB007101, 0)));  // not an address of this machine
    EXPECT_STREQ("WSAEADDRNOTAVAIL - Cannot assign requested address.", SocketErrorText(LastSocketError()));
}

TEST(Sockets, NegativeLengthsAreInvalidArguments) {
    Socket s(SocketCreate(kNetFamilyIPv4, SOCK_DGRAM));
    char b[1];
    EXPECT_EQ(-1, SocketRecv(s.get(), b, -1));
    EXPECT_EQ(10022, LastSocketError());
    EXPECT_EQ(-1, SocketSend(s.get(), b, -5));
    EXPECT_EQ(10022, LastSocketError());
    const int one = 1;
    EXPECT_EQ(-1, SocketSetOption(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, -4));
    EXPECT_EQ(10022, LastSocketError());
}

TEST(JoinGroupWithFallback, OtherFailuresAreNotRetried) {
    Socket s(SocketCreate(kNetFamilyIPv4, SOCK_DGRAM));
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(0x0A000001);  // not a group
    request.imr_interface.s_addr = 0;
    EXPECT_EQ(-1, JoinGroupWithFallback(s.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request));
    EXPECT_EQ(10022, LastSocketError());
    EXPECT_EQ(0u, request.imr_interface.s_addr);  // untouched

    const int yes = 1;
    EXPECT_EQ(0, JoinGroupWithFallback(s.get(), SOL_SOCKET, SO_REUSEADDR, const_cast<int*>(&yes), sizeof yes));
}

// Builds an interface list the way the system lays one out: link entries, then IPv4,
// then IPv6 addresses.
class InterfaceList {
public:
    void Add(const char* name, unsigned flags, int family, const char* address) {
        Entry& e = entries_.emplace_back();
        e.name = name;
        e.storage = {};
        if (family == AF_INET) {
            auto* in = reinterpret_cast<sockaddr_in*>(&e.storage);
            in->sin_family = AF_INET;
            inet_pton(AF_INET, address, &in->sin_addr);
        } else {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&e.storage);
            in6->sin6_family = static_cast<sa_family_t>(family);
            if (family == AF_INET6) inet_pton(AF_INET6, address, &in6->sin6_addr);
        }
        e.flags = flags;
    }
    const ifaddrs* Head() {
        nodes_.assign(entries_.size(), ifaddrs{});
        for (size_t i = 0; i < entries_.size(); ++i) {
            nodes_[i].ifa_name = entries_[i].name.data();
            nodes_[i].ifa_flags = entries_[i].flags;
            nodes_[i].ifa_addr = reinterpret_cast<sockaddr*>(&entries_[i].storage);
            nodes_[i].ifa_next = i + 1 < entries_.size() ? &nodes_[i + 1] : nullptr;
        }
        return nodes_.empty() ? nullptr : nodes_.data();
    }

private:
    struct Entry {
        std::string name;
        sockaddr_storage storage;
        unsigned flags;
    };
    std::vector<Entry> entries_;
    std::vector<ifaddrs> nodes_;
};

constexpr unsigned kActive = IFF_UP | IFF_RUNNING;

TEST(FirstActiveIPv4Address, PicksTheFirstRunningNonLoopbackIPv4Interface) {
    InterfaceList list;
    list.Add("lo", kActive | IFF_LOOPBACK, AF_INET, "127.0.0.1");
    list.Add("down0", IFF_UP, AF_INET, "10.0.0.1");           // administratively up, no carrier
    list.Add("off0", 0, AF_INET, "10.0.0.2");
    list.Add("eth0", kActive, AF_INET, "192.0.2.10");
    list.Add("eth0", kActive, AF_INET, "192.0.2.11");
    list.Add("eth1", kActive, AF_INET, "198.51.100.1");
    EXPECT_EQ(0xC000020Au, FirstActiveIPv4AddressIn(list.Head()));
}

TEST(FirstActiveIPv4Address, NothingSuitable) {
    EXPECT_EQ(0u, FirstActiveIPv4AddressIn(nullptr));
    InterfaceList list;
    list.Add("lo", kActive | IFF_LOOPBACK, AF_INET, "127.0.0.1");
    list.Add("eth0", kActive, AF_PACKET, nullptr);
    list.Add("eth0", kActive, AF_INET6, "fd00::2");
    EXPECT_EQ(0u, FirstActiveIPv4AddressIn(list.Head()));
}

TEST(FirstActiveIPv4Address, InterfaceJudgedByItsFirstAddress) {
    InterfaceList list;
    list.Add("tun0", kActive, AF_INET6, "fd00::5");
    list.Add("tun0", kActive, AF_INET, "10.1.1.1");  // not its first address
    list.Add("eth2", kActive, AF_INET, "10.2.2.2");
    EXPECT_EQ(0x0A020202u, FirstActiveIPv4AddressIn(list.Head()));
}

TEST(LocalIPv4AddressList, HoldsLoopbackWithoutPort) {
    std::vector<NetAddress> addresses;
    ASSERT_TRUE(LocalIPv4AddressList(addresses));
    EXPECT_NE(addresses.end(), std::find(addresses.begin(), addresses.end(), MakeIPv4Address(INADDR_LOOPBACK, 0)));
    for (const NetAddress& a : addresses) {
        EXPECT_EQ(kNetFamilyIPv4, a.family);
        EXPECT_EQ(0, a.port);
    }
}

}  // namespace
