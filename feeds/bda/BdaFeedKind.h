#pragma once
#include "feeds/FeedKind.h"

// BDA tuners by device index, on every enumeration.
FeedKind BdaFeedKind();
