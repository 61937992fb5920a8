#pragma once
#include "feeds/FeedKind.h"

// The DVB PCI cards, by card index from 0.
FeedKind PciFeedKind();
