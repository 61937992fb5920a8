#include "feeds/bda/BdaFeedKind.h"

#include <new>

#include "feeds/bda/BDAFeed.h"

FeedKind BdaFeedKind() {
    return {FeedKind::Probe::ByIndex, [](uint32_t index) -> CFeed* { return new (std::nothrow) CBDAFeed(index); }};
}
