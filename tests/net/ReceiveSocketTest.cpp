#include "net/ReceiveSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/SocketErrorText.h"
#include "tests/net/ReceivedData.h"

namespace {

using namespace nettest;

constexpr uint32_t kGroup = 0xEFFF4C01;   // 239.255.76.1
constexpr uint32_t kElsewhere = 0xCB007101;  // 203.0.113.1, no address of this machine

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator{}));
}

int IntOption(SocketHandle s, int level, int option) {
    int value = -1;
    socklen_t length = sizeof value;
    return getsockopt(s, level, option, &value, &length) == 0 ? value : -2;
}

struct Closing {
    SocketHandle s;
    ~Closing() {
        if (s != kInvalidSocket) SocketClose(s);
    }
};

struct FailureCase {
    const char* what;
    ReceiveSocketRequest request;
    ReceiveSocketFailure failure;
    std::string operation;
    int errorCode;
};

ReceiveSocketRequest To(const NetAddress& address) {
    ReceiveSocketRequest r;
    r.address = address;
    return r;
}

TEST(OpenReceiveSocket, FailuresNameTheStepAndLeaveNothingOpen) {
    Sender holder(kNetFamilyIPv4);  // without address reuse: the port is its alone
    ASSERT_EQ(0, SocketBind(holder.Get(), Loopback(kNetFamilyIPv4)));
    const NetAddress held = BoundTo(holder.Get());
    const uint8_t elsewhere6[16] = {0xfd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x99};
    const uint8_t group6[16] = {0xff, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4c, 0x01};

    std::vector<FailureCase> cases = {
        {"unicast of another computer", To(MakeIPv4Address(kElsewhere, 5000)),
         ReceiveSocketFailure::NotLocalUnicast, "", 0},
        {"unchecked: the bind fails", To(MakeIPv4Address(kElsewhere, 5000)), ReceiveSocketFailure::Operation,
         "bind(203.0.113.1:5000)\r\n", 10049},
        {"no family", To(NetAddress{}), ReceiveSocketFailure::Operation, "socket()", 10047},
        {"port taken", To(held), ReceiveSocketFailure::Operation,
         "bind(127.0.0.1:" + std::to_string(NetAddressPort(held)) + ")\r\n", 10048},
        {"source of the other family", To(MakeIPv4Address(kGroup, 0)), ReceiveSocketFailure::SourceFamily, "", 0},
        {"IPv6 interface not here", To(MakeIPv6Address(group6, 0)), ReceiveSocketFailure::NoSuchInterface, "", 0},
        {"join on an address not here", To(MakeIPv4Address(kGroup, 0)), ReceiveSocketFailure::Operation,
         "setsockopt(IP_ADD_MEMBERSHIP)", 0},
        {"source join on an address not here", To(MakeIPv4Address(kGroup, 0)), ReceiveSocketFailure::Operation,
         "setsockopt(IP_ADD_SOURCE_MEMBERSHIP)", 0},
        {"IPv6 join on an index not here", To(MakeIPv6Address(group6, 0)), ReceiveSocketFailure::Operation,
         "setsockopt(IPV6_ADD_MEMBERSHIP)", 0},
        {"IPv6 source join on an index not here", To(MakeIPv6Address(group6, 0)), ReceiveSocketFailure::Operation,
         "setsockopt(MCAST_JOIN_SOURCE_GROUP)", 0},
    };
    cases[0].request.requireLocalUnicast = true;
    cases[4].request.sourceSpecific = true;
    cases[4].request.source = Loopback(kNetFamilyIPv6);
    cases[5].request.interfaceAddress = MakeIPv6Address(elsewhere6, 0);
    cases[6].request.interfaceAddress = MakeIPv4Address(kElsewhere, 0);
    cases[7].request.interfaceAddress = MakeIPv4Address(kElsewhere, 0);
    cases[7].request.sourceSpecific = true;
    cases[7].request.source = Loopback(kNetFamilyIPv4);
    cases[8].request.interfaceIndex = 999999;
    cases[9].request.interfaceIndex = 999999;
    cases[9].request.sourceSpecific = true;
    cases[9].request.source = Loopback(kNetFamilyIPv6);

    for (const FailureCase& c : cases) {
        const size_t before = OpenDescriptors();
        ReceiveSocketError error;
        error.errorCode = -5;
        EXPECT_EQ(kInvalidSocket, OpenReceiveSocket(c.request, error)) << c.what;
        EXPECT_EQ(c.failure, error.failure) << c.what;
        EXPECT_EQ(c.operation, error.operation) << c.what;
        if (c.errorCode != 0) {
            EXPECT_EQ(c.errorCode, error.errorCode) << c.what;
        }
        if (c.failure == ReceiveSocketFailure::Operation) {
            EXPECT_STRNE("[unknown]", SocketErrorText(error.errorCode)) << c.what << " " << error.errorCode;
        }
        EXPECT_EQ(before, OpenDescriptors()) << c.what;
    }
}

TEST(OpenReceiveSocket, LocalUnicastCheckPassesLoopbackAndOwnAddresses) {
    std::vector<NetAddress> local;
    ASSERT_TRUE(LocalIPv4AddressList(local));
    local.push_back(Loopback(kNetFamilyIPv4));
    for (const NetAddress& address : local) {
        EXPECT_TRUE(IsLocalIPv4Address(NetAddressIPv4(address)));
        ReceiveSocketRequest request = To(address);
        request.requireLocalUnicast = true;
        ReceiveSocketError error;
        Closing s{OpenReceiveSocket(request, error)};
        EXPECT_NE(kInvalidSocket, s.s) << SocketErrorText(error.errorCode);
        EXPECT_EQ(ReceiveSocketFailure::None, error.failure);
    }
    EXPECT_FALSE(IsLocalIPv4Address(kElsewhere));
}

// The receive buffer, reuse and the filter of other groups, as each receiver asks.
TEST(OpenReceiveSocket, OptionsFollowTheRequest) {
    long limit = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> limit;
    ASSERT_GT(limit, 0);
    const long large = 2 * std::min<long>(kReceiveSocketBufferBytes, limit);  // doubled for bookkeeping
    const NetAddress loopback = Loopback(kNetFamilyIPv4);
    for (const bool big : {true, false}) {
        for (const bool share : {true, false}) {
            ReceiveSocketRequest request = To(MakeIPv4Address(kGroup, 0));
            request.interfaceAddress = loopback;
            request.largeReceiveBuffer = big;
            request.shareAndFilter = share;
            ReceiveSocketError error;
            Closing s{OpenReceiveSocket(request, error)};
            ASSERT_NE(kInvalidSocket, s.s) << SocketErrorText(error.errorCode);
            const int size = IntOption(s.s, SOL_SOCKET, SO_RCVBUF);
            if (big) {
                EXPECT_GE(size, large);
            } else {
                EXPECT_LT(size, large);
            }
            EXPECT_EQ(share ? 1 : 0, IntOption(s.s, SOL_SOCKET, SO_REUSEADDR));
            EXPECT_EQ(share ? 0 : 1, IntOption(s.s, IPPROTO_IP, IP_MULTICAST_ALL));
            const NetAddress bound = BoundTo(s.s);
            EXPECT_EQ(0u, NetAddressIPv4(bound)) << "a group binds the wildcard address";
            EXPECT_NE(0, NetAddressPort(bound));
        }
    }
    ReceiveSocketError error;
    Closing six{OpenReceiveSocket(To(Loopback(kNetFamilyIPv6)), error)};
    ASSERT_NE(kInvalidSocket, six.s);
    EXPECT_EQ(1, IntOption(six.s, IPPROTO_IPV6, IPV6_V6ONLY));
    EXPECT_EQ(Loopback(kNetFamilyIPv6, NetAddressPort(BoundTo(six.s))), BoundTo(six.s));
}

}  // namespace
