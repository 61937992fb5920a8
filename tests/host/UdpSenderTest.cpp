#include "host/UdpSender.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

// A receiving socket on loopback with room for a burst.
struct Receiver {
    int fd = -1;
    uint16_t port = 0;
    Receiver() {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        int size = 8 << 20;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        timeval timeout{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), length);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Receiver() { close(fd); }
    std::vector<uint8_t> Next() {
        std::vector<uint8_t> d(2048);
        ssize_t n = recv(fd, d.data(), d.size(), 0);
        d.resize(n > 0 ? size_t(n) : 0);
        return d;
    }
};

std::vector<uint8_t> Packets(size_t count) {
    std::vector<uint8_t> data(count * 188);
    for (size_t i = 0; i < data.size(); ++i) data[i] = i % 188 == 0 ? 0x47 : uint8_t(i / 188 + i);
    return data;
}

}  // namespace

TEST(UdpSender, SevenPacketsPerDatagramAndTheRestOnFlush) {
    Receiver receiver;
    UdpSender sender;
    std::string error;
    ASSERT_TRUE(sender.Open({"127.0.0.1:" + std::to_string(receiver.port), false, 1, ""}, &error)) << error;
    auto data = Packets(17);
    // Arbitrary pieces: datagrams are cut from the joined stream.
    ASSERT_TRUE(sender.Send(data.data(), 1000));
    ASSERT_TRUE(sender.Send(data.data() + 1000, data.size() - 1000));
    EXPECT_EQ(sender.DatagramsSent(), 2u);
    ASSERT_TRUE(sender.Flush());
    std::vector<uint8_t> joined;
    for (size_t expected : {1316u, 1316u, 3u * 188u}) {
        auto d = receiver.Next();
        ASSERT_EQ(d.size(), expected);
        joined.insert(joined.end(), d.begin(), d.end());
    }
    EXPECT_EQ(joined, data);
}

TEST(UdpSender, RtpHeadersCountUpAndWrap) {
    Receiver receiver;
    UdpSender sender;
    std::string error;
    ASSERT_TRUE(sender.Open({"127.0.0.1:" + std::to_string(receiver.port), true, 1, ""}, &error)) << error;
    auto data = Packets(7 * 5);
    ASSERT_TRUE(sender.Send(data.data(), data.size()));
    int previous = -1;
    uint32_t ssrc = 0;
    for (int i = 0; i < 5; ++i) {
        auto d = receiver.Next();
        ASSERT_EQ(d.size(), 12u + 1316u);
        EXPECT_EQ(d[0], 0x80);
        EXPECT_EQ(d[1], 33);
        int sequence = d[2] << 8 | d[3];
        uint32_t s = uint32_t(d[8]) << 24 | uint32_t(d[9]) << 16 | uint32_t(d[10]) << 8 | d[11];
        if (previous >= 0) {
            EXPECT_EQ(sequence, (previous + 1) & 0xFFFF);
            EXPECT_EQ(s, ssrc);
        }
        previous = sequence;
        ssrc = s;
        EXPECT_TRUE(std::equal(d.begin() + 12, d.end(), data.begin() + i * 1316));
    }
    uint8_t header[12];
    UdpSender::WriteRtpHeader(header, 0xFFFF, 0x01020304, 0xAABBCCDD);
    EXPECT_EQ(std::vector<uint8_t>(header, header + 12),
              (std::vector<uint8_t>{0x80, 33, 0xFF, 0xFF, 1, 2, 3, 4, 0xAA, 0xBB, 0xCC, 0xDD}));
}

TEST(UdpSender, RefusesAddressesWithoutPortAndBadInterfaces) {
    UdpSender sender;
    std::string error;
    EXPECT_FALSE(sender.Open({"239.1.2.3", false, 1, ""}, &error));
    EXPECT_EQ(error, "not an address with a port: \"239.1.2.3\" (use 239.1.2.3:5000 or [ff15::1]:5000)");
    EXPECT_FALSE(sender.Open({"example:80", false, 1, ""}, &error));
    EXPECT_FALSE(sender.Open({"239.1.2.3:5000", false, 1, "not-an-address"}, &error));
    EXPECT_NE(error.find("cannot set up multicast sending"), std::string::npos) << error;
}
