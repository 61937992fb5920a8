#include "filter/FeedKindTable.h"

#include "feeds/PluginFeeds.h"
#include "feeds/file/FileFeedKind.h"
#include "feeds/iptv/IptvFeedKind.h"
#include "feeds/pci/PciFeedKind.h"

std::span<const FeedKind> ModuleFeedKinds() {
    // Tuner feeds by index go after the plug-in row, and the SAT>IP feed after the
    // IPTV feed, as those kinds arrive.
    static const FeedKind kinds[] = {PciFeedKind(), PluginFeedKind(), FileFeedKind(), IptvFeedKind()};
    return kinds;
}
