#include "feeds/FeedEnumerator.h"

#include <mutex>
#include <new>

#include "feeds/file/FileFeed.h"
#include "feeds/iptv/IPTVFeed.h"
#include "platform/system/Library.h"

namespace {

std::mutex& EnumerationLock() {
    static std::mutex lock;
    return lock;
}

// The library stays loaded for the life of the process once found.
PlinthFeedObjectFunction PluginEntryPoint() {
    static PlinthFeedObjectFunction entry = [] {
        HMODULE library = LoadLibraryA(kPlinthLibraryName);
        if (!library) return PlinthFeedObjectFunction(nullptr);
        return reinterpret_cast<PlinthFeedObjectFunction>(GetProcAddress(library, kPlinthEntryPoint));
    }();
    return entry;
}

}  // namespace

CFeedEnumerator::CFeedEnumerator() = default;

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

template <class Create>
void CFeedEnumerator::ProbeByIndex(Create create) {
    for (uint32_t index = 0;; ++index) {
        CFeed* feed = create(index);
        if (!feed) return;
        if (feed->GetType() == kFeedNone) {
            DestroyFeed(feed);
            return;
        }
        Add(feed);
    }
}

void CFeedEnumerator::EnumeratePlugin() {
    PlinthFeedObjectFunction entry = PluginEntryPoint();
    if (!entry) return;
    ProbeByIndex([entry](uint32_t index) { return entry(index); });
}

// One object of a kind that exists at most once; listed unless its device is absent.
void CFeedEnumerator::AddSingle(CFeed* feed) {
    if (!feed) return;
    if (feed->GetType() == kFeedNone)
        DestroyFeed(feed);
    else
        Add(feed);
}

int CFeedEnumerator::Enumerate(CFeed** feeds, uint32_t* count, bool fileFeedWanted, bool iptvFeedWanted,
                               bool /*satipFeedWanted*/, uint32_t /*satipValue*/) {
    std::lock_guard<std::mutex> guard(EnumerationLock());
    DestroyListed();
    for (CFeed*& slot : list_) slot = nullptr;
    count_ = 0;

    EnumeratePlugin();
    if (fileFeedWanted) AddSingle(new (std::nothrow) CFileFeed(0));
    if (iptvFeedWanted) AddSingle(new (std::nothrow) CIPTVFeed(0));

    uint32_t written = 0;
    uint32_t capacity = count ? *count : 0;
    for (uint32_t i = 0; i < kMaxFeeds && written < capacity && written < count_; ++i) {
        if (list_[i]) feeds[written++] = list_[i];
    }
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
