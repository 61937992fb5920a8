#pragma once
// The SAT>IP servers found so far: up to 64, with name, address and tuner
// capabilities, rebuilt by the discovery thread. Readers back off while a rebuild
// runs: LockIfReady fails then.
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/NetAddress.h"

struct SatIpServer {
    uint32_t key = 0;           // SatIpServerKey of its LOCATION and USN
    uint32_t capabilities = 0;  // SatIpCapability bits
    NetAddress address{};       // where its SSDP messages came from
    std::string name;           // at most kNameLength bytes, cut between characters
};

class SatIpServerList {
public:
    static constexpr size_t kCapacity = 64;
    static constexpr size_t kNameLength = 64;

    // Reading. LockIfReady: true with the list locked when it may be read; Unlock after.
    bool LockIfReady();
    void Unlock();
    // With the lock held: the key of server k (0 when k is beyond the list) and its
    // name and address (either may be null).
    uint32_t Get(size_t k, std::string* name, NetAddress* address) const;
    size_t Count() const;

    // Without the lock: a copy of the whole list; false (and nothing copied) while a
    // rebuild runs. The generation is that of the copy.
    bool Snapshot(std::vector<SatIpServer>& servers, uint32_t* generation = nullptr);
    // Capabilities of the listed server with this key; 0 when it is not listed (or
    // while a rebuild runs, or for key 0).
    uint32_t CapabilitiesOf(uint32_t key);
    bool Contains(uint32_t key);
    // Counts the rebuilds finished; a reader refreshes when it changed.
    uint32_t Generation() const;

    // Writing (the discovery thread).
    void BeginRebuild();  // not ready, emptied
    // False when the list is full.
    bool Add(const SatIpServer& server);
    // The listed keys in order, for the change check.
    std::vector<uint32_t> Keys() const;
    void FinishRebuild();  // generation counted, ready
    void MarkReady();      // ready after a round without rebuild

private:
    mutable std::mutex lock_;
    std::vector<SatIpServer> servers_;
    bool ready_ = false;
    uint32_t generation_ = 0;
};

// CRC-32/MPEG-2 of the LOCATION text followed directly by the USN text; 0 stands for
// "no key" (an entry without USN).
uint32_t SatIpServerKey(std::string_view location, std::string_view usn);
