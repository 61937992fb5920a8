#pragma once
// Senders, a recording data callback and private network namespaces for the IPTV
// feed tests. Nothing here sends anywhere but loopback or a namespace of the test's own.
#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/Sockets.h"
#include "platform/graph/Interfaces.h"
#include "tests/support/NetNamespace.h"
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

// Every delivered sample, whole, from the feed's delivery thread.
class Recorder {
public:
    static void Callback(void* context, IMediaSample* sample) { static_cast<Recorder*>(context)->OnSample(sample); }

    std::function<void()> onSample;  // on the delivery thread, first
    std::chrono::milliseconds delay{0};

    bool WaitForSamples(size_t n, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, timeout, [&] { return samples_.size() >= n; });
    }
    std::vector<Bytes> Samples() {
        std::lock_guard lock(m_);
        return samples_;
    }
    // Datagrams already waiting may share a sample, so streams are compared as bytes.
    bool WaitForBytes(size_t n, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, timeout, [&] { return bytes_ >= n; });
    }
    Bytes Joined() { return Join(Samples()); }
    static Bytes Join(const std::vector<Bytes>& pieces) {
        Bytes all;
        for (const Bytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
        return all;
    }

private:
    void OnSample(IMediaSample* sample) {
        if (onSample) onSample();
        std::this_thread::sleep_for(delay);
        BYTE* p = nullptr;
        sample->GetPointer(&p);
        Bytes got(p, p + sample->GetActualDataLength());
        sample->Release();
        std::lock_guard lock(m_);
        bytes_ += got.size();
        samples_.push_back(std::move(got));
        cv_.notify_all();
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Bytes> samples_;
    size_t bytes_ = 0;
};

// Status and counters are polled: the feed signals no event for them.
template <class Condition>
bool Eventually(Condition&& condition, std::chrono::milliseconds limit = 5s) {
    return WaitUntil(std::forward<Condition>(condition), limit);
}

}  // namespace iptvtest
