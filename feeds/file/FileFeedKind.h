#pragma once
#include "feeds/FeedKind.h"

// One file feed, on request.
FeedKind FileFeedKind();
