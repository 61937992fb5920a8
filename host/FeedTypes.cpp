#include "host/FeedTypes.h"

#include "feeds/sdk/Feed.h"

const char* FeedTypeName(int32_t type) {
    switch (type) {
        case kFeedNone: return "none";
        case kFeedDvbS: return "DVB-S";
        case kFeedDvbC: return "DVB-C";
        case kFeedDvbT: return "DVB-T";
        case kFeedHostStream: return "host stream";
        case kFeedFile: return "file";
        case kFeedIptv: return "IPTV";
        case kFeedDvbS2: return "DVB-S2";
        case kFeedDvbT2: return "DVB-T2";
        case kFeedDvbC2: return "DVB-C2";
        case kFeedSatIp: return "SAT>IP";
        case kFeedAtsc: return "ATSC";
        default: return "unknown";
    }
}

const char* CommandForFeedType(int32_t type) {
    switch (type) {
        case kFeedFile: return "play";
        case kFeedIptv: return "iptv";
        case kFeedHostStream: return "push";
        default: return nullptr;
    }
}
