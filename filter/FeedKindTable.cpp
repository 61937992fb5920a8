#include "filter/FeedKindTable.h"

#include "feeds/PluginFeeds.h"
#include "feeds/file/FileFeedKind.h"
#include "feeds/iptv/IptvFeedKind.h"
#include "feeds/pci/PciFeedKind.h"
#include "feeds/satip/SatIpFeedKind.h"

std::span<const FeedKind> ModuleFeedKinds() {
    // Tuner feeds by index go after the plug-in row, as that kind arrives.
    static const FeedKind kinds[] = {PciFeedKind(), PluginFeedKind(), FileFeedKind(), IptvFeedKind(), SatIpFeedKind()};
    return kinds;
}
