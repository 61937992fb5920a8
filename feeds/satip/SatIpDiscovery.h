#pragma once
// Finds SAT>IP servers: the SSDP client listens and searches, and a thread turns what
// its cache holds into the server list, fetching each server's device description.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "feeds/satip/SatIpServerList.h"
#include "net/SsdpClient.h"
#include "platform/system/Thread.h"

constexpr const char* kSatIpServerType = "urn:ses-com:device:SatIPServer:1";

class SatIpDiscovery {
public:
    struct Timing {
        uint32_t roundMs = 100;    // pause between rounds
        uint32_t checkMs = 1000;   // least time between two looks at the cache
        int searchMx = 2;          // MX of the search
        int searchRepeat = 3;      // copies of the search sent
    };

    // userAgent: for searches and description fetches (SystemUserAgent()).
    explicit SatIpDiscovery(std::string userAgent);
    SatIpDiscovery(std::string userAgent, Timing timing);
    // Stops the thread and the SSDP client.
    ~SatIpDiscovery();
    SatIpDiscovery(const SatIpDiscovery&) = delete;
    SatIpDiscovery& operator=(const SatIpDiscovery&) = delete;

    // Starts the discovery thread (once).
    bool Start();
    // Starts the SSDP client on both families and searches for SAT>IP servers; the
    // result is that of the search.
    bool StartSsdpAndSearch();
    // Ends the thread (waits for it) and the SSDP client.
    void Stop();

    SatIpServerList& Servers() { return servers_; }
    SsdpClient& Ssdp() { return ssdp_; }
    // Feed type code from the capabilities of the description fetched last
    // (SatIpTypeCode); kFeedSatIp (10) before any fetch.
    int32_t TypeCode() const { return typeCode_.load(std::memory_order_relaxed); }
    const std::string& UserAgent() const { return userAgent_; }

private:
    void Run();
    // The cache entries of SAT>IP servers that the list can hold, in cache order.
    std::vector<SsdpCacheEntry> ListableEntries() const;
    bool ListChanged();
    void Rebuild();

    const std::string userAgent_;
    const Timing timing_;
    SsdpClient ssdp_;
    SatIpServerList servers_;
    std::atomic<int32_t> typeCode_;
    std::atomic<bool> run_{false};
    // A rebuild closes the sockets; a search must not run into that halfway.
    std::mutex socketsLock_;
    Thread thread_;
};
