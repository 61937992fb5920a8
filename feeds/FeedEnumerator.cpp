#include "feeds/FeedEnumerator.h"

#include <mutex>

namespace {

std::mutex& EnumerationLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

CFeedEnumerator::CFeedEnumerator(std::span<const FeedKind> kinds) : kinds_(kinds) {}

CFeedEnumerator::~CFeedEnumerator() { DestroyAllFeeds(); }

void CFeedEnumerator::Add(CFeed* feed) {
    for (CFeed*& slot : list_) {
        if (!slot) {
            slot = feed;
            ++count_;
            return;
        }
    }
    // A full list leaves the object unlisted; it must still go.
    DestroyFeed(feed);
}

bool CFeedEnumerator::Probe(CFeed* feed) {
    if (!feed) return false;
    if (feed->GetType() == kFeedNone) {
        DestroyFeed(feed);
        return false;
    }
    Add(feed);
    return true;
}

int CFeedEnumerator::Enumerate(CFeed** feeds, uint32_t* count, const FeedRequest& request) {
    std::lock_guard<std::mutex> guard(EnumerationLock());
    if (request.abandon && request.abandon()) {
        if (count) *count = 0;
        return 1;
    }
    DestroyListed();

    for (const FeedKind& kind : kinds_) {
        if (kind.requestedAs != kFeedNone && !request.Wants(kind.requestedAs)) continue;
        if (kind.probe == FeedKind::Probe::Single) {
            Probe(kind.create(request.value));
            continue;
        }
        for (uint32_t index = 0; Probe(kind.create(index)); ++index) {
        }
    }

    uint32_t written = 0;
    uint32_t capacity = count ? *count : 0;
    for (uint32_t i = 0; i < count_ && written < capacity; ++i) feeds[written++] = list_[i];
    if (count) *count = written;
    built_ = true;
    return 1;
}

void CFeedEnumerator::DestroyAllFeeds() {
    std::lock_guard<std::mutex> guard(EnumerationLock());
    DestroyListed();
}

void CFeedEnumerator::DestroyListed() {
    if (!built_) return;
    for (CFeed*& slot : list_) {
        DestroyFeed(slot);
        slot = nullptr;
    }
    count_ = 0;
    built_ = false;
}
