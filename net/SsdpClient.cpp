#include "net/SsdpClient.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "net/NamedThread.h"
#include "net/ReceiveSocket.h"

namespace {

constexpr const char* kSearchFormat =
    "M-SEARCH * HTTP/1.1\r\nHOST: %s\r\nMAN: \"ssdp:discover\"\r\nMX: %d\r\nST: %s\r\nUSER-AGENT: %s\r\n\r\n";

uint32_t NowSeconds() {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

NetAddress Group(uint16_t family) {
    return family == kNetFamilyIPv4 ? MakeIPv4Address(SsdpClient::kGroupIPv4, SsdpClient::kPort)
                                    : MakeIPv6Address(SsdpClient::kGroupIPv6, SsdpClient::kPort);
}

void SetHops(SocketHandle socket, uint16_t family) {
    const int hops = SsdpClient::kMulticastHops;
    if (family == kNetFamilyIPv4) {
        SocketSetOption(socket, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops);
    } else {
        SocketSetOption(socket, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops);
    }
}

}  // namespace

// One socket and the thread that reads it.
struct SsdpClient::Listener {
    SsdpClient* client = nullptr;
    SocketHandle socket = kInvalidSocket;
    std::atomic<bool> stopping{false};
    Event done{true, true};

    bool Start(const char* name) {
        done.Reset();
        if (CreateNamedThread(&SsdpClient::ListenThread, kThreadLevelBelowNormal, this, name) != kNoThread) return true;
        done.Set();
        return false;
    }
    // The descriptor is closed only after its thread let go of it, so that the thread
    // never reads from a number reused meanwhile.
    void Stop() {
        if (socket == kInvalidSocket) return;
        stopping = true;
        ::shutdown(socket, SHUT_RDWR);
        done.Wait();
        SocketClose(socket);
        socket = kInvalidSocket;
    }
    ~Listener() { Stop(); }
};

struct SsdpClient::Family {
    uint16_t family = 0;
    Listener multicast;
    Listener unicast;
};

SsdpClient::SsdpClient(std::string userAgent, uint32_t ipv4Interface)
    : userAgent_(std::move(userAgent)), ipv4Interface_(ipv4Interface) {}

SsdpClient::~SsdpClient() { Stop(); }

bool SsdpClient::Start(const NetAddress* address) {
    std::lock_guard<std::mutex> hold(familiesLock_);
    if (address) return StartFamily(*address);
    if (!StartFamily(MakeIPv4Address(0, 0))) return false;
    const uint8_t any[16] = {};
    return StartFamily(MakeIPv6Address(any, 0));
}

bool SsdpClient::StartFamily(const NetAddress& bindAddress) {
    std::unique_ptr<Family>* slot = bindAddress.family == kNetFamilyIPv4   ? &ipv4_
                                    : bindAddress.family == kNetFamilyIPv6 ? &ipv6_
                                                                           : nullptr;
    if (!slot) return false;
    if (*slot) return true;

    ReceiveSocketRequest group;
    group.address = Group(bindAddress.family);
    group.largeReceiveBuffer = false;
    if (bindAddress.family == kNetFamilyIPv4) {
        const uint32_t local = NetAddressIPv4(bindAddress);
        group.interfaceAddress = MakeIPv4Address(local != 0 ? local : ipv4Interface_, 0);
    } else {
        group.interfaceAddress = bindAddress;
    }
    ReceiveSocketError error;
    const SocketHandle multicast = OpenReceiveSocket(group, error);
    if (multicast == kInvalidSocket) return false;
    SetHops(multicast, bindAddress.family);

    ReceiveSocketRequest search;
    search.address = bindAddress;
    SetNetAddressPort(search.address, 0);
    search.largeReceiveBuffer = false;
    const SocketHandle unicast = OpenReceiveSocket(search, error);
    if (unicast == kInvalidSocket) {
        SocketClose(multicast);
        return false;
    }

    // From here on the listeners own the sockets, whether their threads start or not.
    auto family = std::make_unique<Family>();
    family->family = bindAddress.family;
    family->multicast.client = family->unicast.client = this;
    family->multicast.socket = multicast;
    family->unicast.socket = unicast;
    const bool ipv4 = bindAddress.family == kNetFamilyIPv4;
    if (!family->multicast.Start(ipv4 ? "SSDP-M" : "SSDP-M IPv6") ||
        !family->unicast.Start(ipv4 ? "SSDP-U" : "SSDP-U IPv6")) {
        return false;
    }
    *slot = std::move(family);
    return true;
}

void SsdpClient::Stop() {
    std::lock_guard<std::mutex> hold(familiesLock_);
    ipv4_.reset();
    ipv6_.reset();
}

unsigned SsdpClient::ListenThread(void* listener) {
    auto* self = static_cast<Listener*>(listener);
    self->client->Listen(*self);
    self->done.Set();
    return 0;
}

void SsdpClient::Listen(Listener& listener) {
    char buffer[SsdpCache::kMessageCapacity + 1];
    for (;;) {
        NetAddress sender;
        const int length = SocketRecvFrom(listener.socket, buffer, SsdpCache::kMessageCapacity, sender);
        if (length < 0 || listener.stopping.load()) return;
        // An empty datagram is somebody's noise, not the end of the socket.
        if (length == 0) continue;
        buffer[length] = '\0';
        std::lock_guard<std::mutex> hold(cacheLock_);
        cache_.Process(std::string_view(buffer, static_cast<size_t>(length)), sender, NowSeconds());
    }
}

bool SsdpClient::Search(const char* target, const NetAddress* destination, int mx, int repeat) {
    if (!destination) {
        const NetAddress ipv4 = Group(kNetFamilyIPv4);
        if (!Search(target, &ipv4, mx, repeat)) return false;
        const NetAddress ipv6 = Group(kNetFamilyIPv6);
        return Search(target, &ipv6, mx, repeat);
    }
    std::string host;
    if (!FormatNetAddress(*destination, host, true)) return false;
    std::string message(std::snprintf(nullptr, 0, kSearchFormat, host.c_str(), mx, target ? target : "",
                                      userAgent_.c_str()),
                        '\0');
    std::snprintf(message.data(), message.size() + 1, kSearchFormat, host.c_str(), mx, target ? target : "",
                  userAgent_.c_str());

    std::lock_guard<std::mutex> hold(familiesLock_);
    const std::unique_ptr<Family>& family = destination->family == kNetFamilyIPv4 ? ipv4_ : ipv6_;
    if (!family) return false;
    for (int i = 0; i < repeat; ++i) {
        const int sent = SocketSendTo(family->unicast.socket, message.data(), static_cast<int>(message.size()),
                                      *destination);
        if (sent != static_cast<int>(message.size())) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kSearchPauseMs));
    }
    return true;
}

void SsdpClient::ForEachCacheEntry(const std::function<void(size_t, const SsdpCacheEntry&)>& visit) const {
    std::lock_guard<std::mutex> hold(cacheLock_);
    const std::vector<SsdpCacheEntry>& entries = cache_.Entries();
    for (size_t i = 0; i < entries.size(); ++i) visit(i, entries[i]);
}

size_t SsdpClient::CacheSize() const {
    std::lock_guard<std::mutex> hold(cacheLock_);
    return cache_.Entries().size();
}

NetAddress SsdpClient::SearchAddress(uint16_t family) const {
    std::lock_guard<std::mutex> hold(familiesLock_);
    const std::unique_ptr<Family>& running = family == kNetFamilyIPv4 ? ipv4_ : ipv6_;
    NetAddress address{};
    if (running) SocketLocalAddress(running->unicast.socket, address);
    return address;
}
