#pragma once
#include <cstdint>

#include "feeds/FeedKind.h"

// One SAT>IP feed, on request. The request's value names the application whose
// settings the feed loads: a token from SatIpApplicationToken (0: none).
FeedKind SatIpFeedKind();
// A 32-bit stand-in for an application name, valid for the life of the process.
uint32_t SatIpApplicationToken(const char* application);
