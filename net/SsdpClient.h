#pragma once
// Discovery of UPnP devices: searches, listens to their announcements on the SSDP
// groups (IPv4 239.255.255.250, IPv6 ff05::c, port 1900) and keeps what it hears in a
// cache. It never announces anything of its own.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/NetAddress.h"
#include "net/SsdpCache.h"
#include "net/Sockets.h"
#include "platform/system/Event.h"

class SsdpClient {
public:
    static constexpr uint16_t kPort = 1900;
    static constexpr uint32_t kGroupIPv4 = 0xEFFFFFFA;  // 239.255.255.250
    static constexpr uint8_t kGroupIPv6[16] = {0xff, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0c};
    static constexpr int kMulticastHops = 2;
    static constexpr uint32_t kSearchPauseMs = 100;

    // userAgent: the USER-AGENT of searches (SystemUserAgent()). ipv4Interface: the
    // address whose interface joins the IPv4 group (0: the system's choice).
    explicit SsdpClient(std::string userAgent, uint32_t ipv4Interface = 0);
    // Stops; the cache goes with the client.
    ~SsdpClient();
    SsdpClient(const SsdpClient&) = delete;
    SsdpClient& operator=(const SsdpClient&) = delete;

    // Without an address: IPv4 and, when that worked, IPv6, both on the wildcard
    // address; the result is that of the last family started. With an address: that
    // family only, bound to it. A family starts as two sockets, one on the group port
    // that joins the group and one on a free port for searches and their answers, each
    // with its receive thread ("SSDP-M", "SSDP-U", "SSDP-M IPv6", "SSDP-U IPv6", below
    // normal priority). A family that is running already is left as it is.
    bool Start(const NetAddress* address = nullptr);
    // Closes the sockets and waits for their threads; the cache stays.
    void Stop();

    // M-SEARCH for the target, sent `repeat` times from the search socket of the
    // destination's family with a pause after each. Without a destination: the IPv4
    // group and, when that worked, the IPv6 group; the result is that of the last.
    bool Search(const char* target, const NetAddress* destination, int mx, int repeat);

    // Calls visit(index, entry) for every cache entry in order, under the cache lock.
    void ForEachCacheEntry(const std::function<void(size_t, const SsdpCacheEntry&)>& visit) const;
    size_t CacheSize() const;

    const std::string& UserAgent() const { return userAgent_; }
    // The search socket's own address (port included), family 0 when not running.
    NetAddress SearchAddress(uint16_t family) const;

private:
    struct Family;
    struct Listener;
    bool StartFamily(const NetAddress& bindAddress);
    static unsigned ListenThread(void* listener);
    void Listen(Listener& listener);

    const std::string userAgent_;
    const uint32_t ipv4Interface_;
    std::unique_ptr<Family> ipv4_;
    std::unique_ptr<Family> ipv6_;
    mutable std::mutex familiesLock_;

    mutable std::mutex cacheLock_;
    SsdpCache cache_;
};
