#pragma once
#include "feeds/FeedKind.h"

// One IPTV feed, on request.
FeedKind IptvFeedKind();
