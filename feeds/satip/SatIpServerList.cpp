#include "feeds/satip/SatIpServerList.h"

#include <algorithm>

#include "net/Crc32Mpeg2.h"

uint32_t SatIpServerKey(std::string_view location, std::string_view usn) {
    if (usn.empty()) return 0;
    uint32_t crc = Crc32Mpeg2Update(kCrc32Mpeg2Initial, reinterpret_cast<const uint8_t*>(location.data()), location.size());
    return Crc32Mpeg2Update(crc, reinterpret_cast<const uint8_t*>(usn.data()), usn.size());
}

bool SatIpServerList::LockIfReady() {
    lock_.lock();
    if (ready_) return true;
    lock_.unlock();
    return false;
}

void SatIpServerList::Unlock() { lock_.unlock(); }

uint32_t SatIpServerList::Get(size_t k, std::string* name, NetAddress* address) const {
    if (k >= servers_.size()) return 0;
    if (name) *name = servers_[k].name;
    if (address) *address = servers_[k].address;
    return servers_[k].key;
}

size_t SatIpServerList::Count() const { return servers_.size(); }

bool SatIpServerList::Snapshot(std::vector<SatIpServer>& servers, uint32_t* generation) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!ready_) return false;
    servers = servers_;
    if (generation) *generation = generation_;
    return true;
}

uint32_t SatIpServerList::CapabilitiesOf(uint32_t key) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!ready_ || key == 0) return 0;
    const auto found = std::find_if(servers_.begin(), servers_.end(), [&](const SatIpServer& s) { return s.key == key; });
    return found == servers_.end() ? 0 : found->capabilities;
}

bool SatIpServerList::Contains(uint32_t key) {
    std::lock_guard<std::mutex> hold(lock_);
    return key != 0 && std::any_of(servers_.begin(), servers_.end(), [&](const SatIpServer& s) { return s.key == key; });
}

uint32_t SatIpServerList::Generation() const {
    std::lock_guard<std::mutex> hold(lock_);
    return generation_;
}

void SatIpServerList::BeginRebuild() {
    std::lock_guard<std::mutex> hold(lock_);
    ready_ = false;
    servers_.clear();
}

bool SatIpServerList::Add(const SatIpServer& server) {
    std::lock_guard<std::mutex> hold(lock_);
    if (servers_.size() >= kCapacity) return false;
    servers_.push_back(server);
    std::string& name = servers_.back().name;
    if (name.size() > kNameLength) {
        // Never in the middle of a UTF-8 sequence.
        size_t cut = kNameLength;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return true;
}

std::vector<uint32_t> SatIpServerList::Keys() const {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<uint32_t> keys;
    for (const SatIpServer& server : servers_) keys.push_back(server.key);
    return keys;
}

void SatIpServerList::FinishRebuild() {
    std::lock_guard<std::mutex> hold(lock_);
    ++generation_;
    ready_ = true;
}

void SatIpServerList::MarkReady() {
    std::lock_guard<std::mutex> hold(lock_);
    ready_ = true;
}
