#pragma once
#include <span>

#include "feeds/FeedKind.h"

// The feed kinds of this module, in the order the feed list shows them: the plug-in
// library's devices, then on request one file feed and one IPTV feed.
std::span<const FeedKind> ModuleFeedKinds();
