#include "feeds/satip/SatIpDiscovery.h"

#include <vector>

#include "feeds/satip/SatIpCapabilities.h"
#include "feeds/sdk/Feed.h"
#include "net/DeviceDescription.h"
#include "platform/system/Tick.h"

namespace {

constexpr const char* kNoName = "SAT>IP Server \"no name\"";
constexpr const char* kFriendlyName = "friendlyName";

bool IsSatIpServer(const SsdpCacheEntry& entry) { return entry.usn.find(kSatIpServerType) != std::string::npos; }

}  // namespace

SatIpDiscovery::SatIpDiscovery(std::string userAgent) : SatIpDiscovery(std::move(userAgent), Timing{}) {}

SatIpDiscovery::SatIpDiscovery(std::string userAgent, Timing timing)
    : userAgent_(std::move(userAgent)), timing_(timing), ssdp_(userAgent_), typeCode_(kFeedSatIp) {}

SatIpDiscovery::~SatIpDiscovery() { Stop(); }

bool SatIpDiscovery::Start() {
    if (run_.exchange(true)) return true;
    if (thread_.Start([this] { Run(); }, "SAT>IP discover")) return true;
    run_ = false;
    return false;
}

bool SatIpDiscovery::StartSsdpAndSearch() {
    std::lock_guard<std::mutex> hold(socketsLock_);
    ssdp_.Start();
    return ssdp_.Search(kSatIpServerType, nullptr, timing_.searchMx, timing_.searchRepeat);
}

void SatIpDiscovery::Stop() {
    run_ = false;
    thread_.Join();
    ssdp_.Stop();
}

void SatIpDiscovery::Run() {
    DWORD lastCheck = GetTickCount();
    while (run_.load()) {
        if (GetTickCount() - lastCheck >= timing_.checkMs) {
            if (ListChanged()) Rebuild();
            lastCheck = GetTickCount();
        }
        servers_.MarkReady();
        Sleep(timing_.roundMs);
    }
}

std::vector<SsdpCacheEntry> SatIpDiscovery::ListableEntries() const {
    std::vector<SsdpCacheEntry> entries;
    ssdp_.ForEachCacheEntry([&](size_t, const SsdpCacheEntry& entry) {
        if (entries.size() < SatIpServerList::kCapacity && IsSatIpServer(entry) &&
            SatIpServerKey(entry.location, entry.usn) != 0) {
            entries.push_back(entry);
        }
    });
    return entries;
}

bool SatIpDiscovery::ListChanged() {
    // The listed servers must be the servers in the cache, in the same order; one that
    // said goodbye counts as a change too, wherever it stood.
    std::vector<uint32_t> cached;
    for (const SsdpCacheEntry& entry : ListableEntries()) cached.push_back(SatIpServerKey(entry.location, entry.usn));
    return cached != servers_.Keys();
}

void SatIpDiscovery::Rebuild() {
    std::lock_guard<std::mutex> hold(socketsLock_);
    servers_.BeginRebuild();
    // The description fetches run with the sockets closed, as a fixed picture of the cache.
    ssdp_.Stop();
    DeviceDescription description;
    for (const SsdpCacheEntry& entry : ListableEntries()) {
        description.Fetch(entry.location, userAgent_);
        const uint32_t capabilities = SatIpCapabilityMask(description);
        typeCode_ = SatIpTypeCode(capabilities);
        SatIpServer server;
        server.key = SatIpServerKey(entry.location, entry.usn);
        server.capabilities = capabilities;
        server.address = entry.sender;
        const std::optional<std::string> name = description.Text(kFriendlyName);
        server.name = name && !name->empty() ? *name : kNoName;
        servers_.Add(server);
    }
    ssdp_.Start();
    servers_.FinishRebuild();
}
