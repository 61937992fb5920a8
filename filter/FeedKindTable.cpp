#include "filter/FeedKindTable.h"

#include "feeds/PluginFeeds.h"
#include "feeds/bda/BdaFeedKind.h"
#include "feeds/file/FileFeedKind.h"
#include "feeds/iptv/IptvFeedKind.h"

std::span<const FeedKind> ModuleFeedKinds() {
    // Card feeds by index go before the plug-in row, and the SAT>IP feed after the IPTV
    // feed, as those kinds arrive.
    static const FeedKind kinds[] = {PluginFeedKind(), BdaFeedKind(), FileFeedKind(), IptvFeedKind()};
    return kinds;
}
