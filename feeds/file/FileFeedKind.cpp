#include "feeds/file/FileFeedKind.h"

#include <new>

#include "feeds/file/FileFeed.h"

FeedKind FileFeedKind() {
    return {FeedKind::Probe::Single, [](uint32_t) -> CFeed* { return new (std::nothrow) CFileFeed(0); }, kFeedFile};
}
