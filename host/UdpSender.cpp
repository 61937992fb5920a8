#include "host/UdpSender.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

#include "net/SocketErrorText.h"

UdpSender::~UdpSender() { Close(); }

void UdpSender::WriteRtpHeader(uint8_t* h, uint16_t sequence, uint32_t timestamp, uint32_t ssrc) {
    h[0] = 0x80;  // version 2, no padding, extension or contributing sources
    h[1] = kRtpPayloadType;
    h[2] = static_cast<uint8_t>(sequence >> 8);
    h[3] = static_cast<uint8_t>(sequence);
    for (int i = 0; i < 4; ++i) {
        h[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
        h[8 + i] = static_cast<uint8_t>(ssrc >> (24 - 8 * i));
    }
}

bool UdpSender::Open(const Options& options, std::string* error) {
    if (!ParseNetAddress(nullptr, options.destination, destination_) || NetAddressPort(destination_) == 0) {
        *error = "not an address with a port: \"" + options.destination + "\" (use 239.1.2.3:5000 or [ff15::1]:5000)";
        return false;
    }
    const bool v6 = destination_.family == kNetFamilyIPv6;
    socket_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        *error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    if (IsMulticast(destination_)) {
        int hops = options.ttl;
        int rc = v6 ? ::setsockopt(socket_, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops)
                    : ::setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops);
        if (rc == 0 && !options.interface.empty()) {
            if (v6) {
                unsigned index = if_nametoindex(options.interface.c_str());
                rc = index ? ::setsockopt(socket_, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) : -1;
                if (!index) errno = ENODEV;
            } else {
                in_addr local{};
                rc = inet_pton(AF_INET, options.interface.c_str(), &local) == 1
                         ? ::setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local)
                         : (errno = EINVAL, -1);
            }
        }
        if (rc != 0) {
            *error = "cannot set up multicast sending (interface \"" + options.interface + "\"): " + std::strerror(errno);
            Close();
            return false;
        }
    }
    rtp_ = options.rtp;
    std::random_device random;
    ssrc_ = random();
    sequence_ = static_cast<uint16_t>(random());
    datagram_.resize(12 + kPayloadSize);
    return true;
}

bool UdpSender::SendDatagram(const uint8_t* payload, size_t length) {
    const uint8_t* data = payload;
    size_t size = length;
    if (rtp_) {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        auto ticks = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count() * 9 / 100);
        WriteRtpHeader(datagram_.data(), sequence_++, ticks, ssrc_);
        std::memcpy(datagram_.data() + 12, payload, length);
        data = datagram_.data();
        size = length + 12;
    }
    sockaddr_storage to{};
    unsigned toLength = NetAddressToSockaddr(destination_, to);
    for (;;) {
        ssize_t sent = ::sendto(socket_, data, size, 0, reinterpret_cast<sockaddr*>(&to), toLength);
        if (sent >= 0) break;
        if (errno == EINTR) continue;
        // A full socket buffer under a burst: wait for room rather than lose the datagram.
        if (errno == ENOBUFS || errno == EAGAIN) {
            usleep(200);
            continue;
        }
        error_ = std::string("cannot send to the network: ") + SocketErrorText(SocketErrorFromErrno(errno));
        return false;
    }
    ++datagrams_;
    return true;
}

bool UdpSender::Send(const uint8_t* data, size_t length) {
    if (socket_ < 0) return false;
    pending_.insert(pending_.end(), data, data + length);
    size_t offset = 0;
    while (pending_.size() - offset >= kPayloadSize) {
        if (!SendDatagram(pending_.data() + offset, kPayloadSize)) return false;
        offset += kPayloadSize;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

bool UdpSender::Flush() {
    if (socket_ < 0 || pending_.empty()) return socket_ >= 0;
    bool ok = SendDatagram(pending_.data(), pending_.size());
    pending_.clear();
    return ok;
}

void UdpSender::Close() {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}
