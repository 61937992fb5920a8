#include "filter/FeedKindTable.h"

#include "feeds/PluginFeeds.h"
#include "feeds/bda/BdaFeedKind.h"
#include "feeds/file/FileFeedKind.h"
#include "feeds/iptv/IptvFeedKind.h"
#include "feeds/pci/PciFeedKind.h"
#include "feeds/satip/SatIpFeedKind.h"

std::span<const FeedKind> ModuleFeedKinds() {
    // Cards by index, plug-in devices, tuners by index, then the file and network feeds.
    static const FeedKind kinds[] = {PciFeedKind(),  PluginFeedKind(), BdaFeedKind(),
                                     FileFeedKind(), IptvFeedKind(),   SatIpFeedKind()};
    return kinds;
}
