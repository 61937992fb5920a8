#include "filter/FeedKindTable.h"

#include "feeds/PluginFeeds.h"
#include "feeds/file/FileFeedKind.h"
#include "feeds/iptv/IptvFeedKind.h"
#include "feeds/satip/SatIpFeedKind.h"

std::span<const FeedKind> ModuleFeedKinds() {
    // Card feeds by index go before the plug-in row and tuner feeds by index after it,
    // as those kinds arrive.
    static const FeedKind kinds[] = {PluginFeedKind(), FileFeedKind(), IptvFeedKind(), SatIpFeedKind()};
    return kinds;
}
