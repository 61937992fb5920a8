#pragma once
// What SSDP messages told about the devices around: one entry per USN, kept in
// arrival order until the device says goodbye. Pure bookkeeping: no socket, no
// thread, no lock (the client holds its own around every call).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/NetAddress.h"

struct SsdpCacheEntry {
    NetAddress sender{};    // source of the datagram last heard
    uint32_t received = 0;  // seconds (monotonic) when last heard
    std::string type;       // NT or ST
    std::string usn;
    std::string location;
    uint32_t maxAge = 0;  // seconds
};

class SsdpCache {
public:
    static constexpr size_t kCapacity = 128;
    static constexpr size_t kMessageCapacity = 1024;  // longer datagrams are cut
    static constexpr uint32_t kDefaultMaxAge = 1800;
    static constexpr uint32_t kMinimumMaxAge = 60;
    static constexpr uint32_t kMaximumMaxAge = 86400;

    enum class Kind { Alive, Bye, Update, Other };

    // One received datagram as text: a search response counts as alive, a NOTIFY as
    // its NTS says, anything else (our own kind of M-SEARCH included) is ignored.
    void Process(std::string_view message, const NetAddress& sender, uint32_t nowSeconds);
    // Alive refreshes sender and time of a known USN, Bye removes it, Update replaces
    // it, Other leaves it; an unknown USN is appended (not on Bye, not when full).
    void Apply(const SsdpCacheEntry& record, Kind kind);

    const std::vector<SsdpCacheEntry>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }

private:
    std::vector<SsdpCacheEntry> entries_;
};

// The value of a header found by name at the start of a line (names compared without
// regard to case), blanks after the name skipped, up to the line's end; nothing when
// the header is absent.
std::optional<std::string_view> SsdpHeaderValue(std::string_view message, std::string_view name);
// "max-age=" in a CACHE-CONTROL value, held within 60..86400; 1800 without header or word.
uint32_t SsdpMaxAge(std::optional<std::string_view> cacheControl);
