#include "feeds/iptv/IptvFeedKind.h"

#include <new>

#include "feeds/iptv/IPTVFeed.h"

FeedKind IptvFeedKind() {
    return {FeedKind::Probe::Single, [](uint32_t) -> CFeed* { return new (std::nothrow) CIPTVFeed(0); }, kFeedIptv};
}
