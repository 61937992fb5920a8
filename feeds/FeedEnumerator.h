#pragma once
#include <cstdint>

#include "feeds/sdk/Feed.h"

// Finds the feeds the machine offers and owns the objects it creates. Each filter
// keeps its own enumerator, so one filter's enumeration or teardown never destroys a
// feed another filter is using; enumerations are still serialised process-wide,
// since device probing and the plug-in library are not made for concurrent use.
class CFeedEnumerator {
public:
    static constexpr uint32_t kMaxFeeds = 256;

    CFeedEnumerator();
    ~CFeedEnumerator();
    CFeedEnumerator(const CFeedEnumerator&) = delete;
    CFeedEnumerator& operator=(const CFeedEnumerator&) = delete;

    // count: in, the capacity of feeds; out, the entries written. Always returns 1.
    int Enumerate(CFeed** feeds, uint32_t* count, bool fileFeedWanted, bool iptvFeedWanted, bool satipFeedWanted,
                  uint32_t satipValue);
    void DestroyAllFeeds();

    uint32_t Count() const { return count_; }

private:
    void Add(CFeed* feed);
    void DestroyListed();
    void AddSingle(CFeed* feed);
    void EnumeratePlugin();
    // Probes one factory for each index until an absent device.
    template <class Create>
    void ProbeByIndex(Create create);

    CFeed* list_[kMaxFeeds] = {};
    uint32_t count_ = 0;
    bool built_ = false;
};
