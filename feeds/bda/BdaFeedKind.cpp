#include "feeds/bda/BdaFeedKind.h"

#include <new>

#include "feeds/bda/BDAFeed.h"
#include "platform/bda/BdaSimulation.h"
#include "platform/graph/PlatformClasses.h"

FeedKind BdaFeedKind() {
    return {FeedKind::Probe::ByIndex, [](uint32_t index) -> CFeed* {
                // The desktop's tuner framework is always there; this platform's is
                // registered on first use, and only where tuners are declared, since it
                // records its class names in the settings store.
                if (index == 0 && !BdaSimulation::Current().tuners.empty()) {
                    RegisterPlatformClasses();
                    RegisterBdaClasses();
                }
                return new (std::nothrow) CBDAFeed(index);
            }};
}
