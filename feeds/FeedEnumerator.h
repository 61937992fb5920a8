#pragma once
#include <cstdint>
#include <span>

#include "feeds/FeedKind.h"

// Finds the feeds the machine offers, kind by kind in the order of the table it is
// given, and owns the objects it creates. Each filter keeps its own enumerator, so one
// filter's enumeration or teardown never destroys a feed another filter is using;
// enumerations are still serialised process-wide, since device probing and the plug-in
// library are not made for concurrent use.
class CFeedEnumerator {
public:
    static constexpr uint32_t kMaxFeeds = 256;

    // The table must outlive the enumerator.
    explicit CFeedEnumerator(std::span<const FeedKind> kinds);
    ~CFeedEnumerator();
    CFeedEnumerator(const CFeedEnumerator&) = delete;
    CFeedEnumerator& operator=(const CFeedEnumerator&) = delete;

    // Destroys the previous set, then lists what the table finds. count: in, the
    // capacity of feeds; out, the entries written. Always returns 1.
    int Enumerate(CFeed** feeds, uint32_t* count, const FeedRequest& request);
    void DestroyAllFeeds();

    uint32_t Count() const { return count_; }

private:
    void Add(CFeed* feed);
    // False when the object was not listed (absent device or no object).
    bool Probe(CFeed* feed);
    void DestroyListed();

    std::span<const FeedKind> kinds_;
    CFeed* list_[kMaxFeeds] = {};
    uint32_t count_ = 0;
    bool built_ = false;
};
