#pragma once
// One row of the feed-kind table: how the enumerator finds the feeds of one kind.
// The rows live with their kinds; whoever assembles a module puts them in order and
// hands the table to the enumerator, so the enumerator itself knows no kind.
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "feeds/sdk/Feed.h"

struct FeedKind {
    enum class Probe : uint8_t {
        // create(0), create(1), ... until a null result or an object of type 0.
        ByIndex,
        // One object, create(the request's value); listed unless its type is 0.
        Single,
    };
    Probe probe;
    // Null when the allocation failed, which counts as an absent device.
    CFeed* (*create)(uint32_t indexOrValue);
    // kFeedNone: probed on every enumeration. Otherwise the kind is created only when
    // the request names this feed type code.
    int32_t requestedAs = kFeedNone;
};

// What one enumeration creates beyond the kinds probed every time.
struct FeedRequest {
    uint32_t types = 0;  // bit n: the on-request kind of feed type code n
    uint32_t value = 0;  // handed to the on-request kinds' creation
    // Asked once no other enumeration runs in the process; true ends the enumeration at
    // once: nothing is written and the previous set stays listed.
    std::function<bool()> abandon;

    static FeedRequest For(std::initializer_list<int32_t> wanted, uint32_t value = 0) {
        FeedRequest request;
        for (int32_t type : wanted)
            if (type > kFeedNone && type < 32) request.types |= 1u << type;
        request.value = value;
        return request;
    }
    bool Wants(int32_t type) const { return type > kFeedNone && type < 32 && (types >> type) & 1u; }
};
