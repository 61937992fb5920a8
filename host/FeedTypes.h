#pragma once
// Feed type codes in words, and the command that plays a kind the live command cannot
// give a source to.
#include <cstdint>

// "DVB-S", "file", "IPTV", ...; "unknown" for a code no kind uses.
const char* FeedTypeName(int32_t type);
// "play" for files, "iptv" for IPTV, "push" for a host stream; null for kinds that
// 'kestrel live' runs.
const char* CommandForFeedType(int32_t type);
