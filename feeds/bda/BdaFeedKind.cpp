#include "feeds/bda/BdaFeedKind.h"

#include <new>

#include "feeds/bda/BDAFeed.h"
#include "platform/bda/BdaSimulation.h"

FeedKind BdaFeedKind() {
    return {FeedKind::Probe::ByIndex, [](uint32_t index) -> CFeed* {
                // The desktop's tuner framework is always there; this platform's is
                // registered on first use.
                if (index == 0) RegisterBdaClasses();
                return new (std::nothrow) CBDAFeed(index);
            }};
}
