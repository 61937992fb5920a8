#pragma once
#include "feeds/FeedKind.h"

// The devices of the plug-in library, found through the normal library search. The
// library is looked for on every enumeration until it is found; from then on it stays
// loaded for the life of the process.
FeedKind PluginFeedKind();
