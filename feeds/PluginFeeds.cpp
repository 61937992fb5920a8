#include "feeds/PluginFeeds.h"

#include <atomic>

#include "platform/system/Library.h"

namespace {

std::atomic<PlinthFeedObjectFunction> g_entry{nullptr};

// Enumerations are serialised, so two lookups never race; the atomic only publishes the
// address to later enumerations on other threads.
PlinthFeedObjectFunction EntryPoint() {
    PlinthFeedObjectFunction entry = g_entry.load(std::memory_order_acquire);
    if (entry) return entry;
    HMODULE library = LoadLibraryA(kPlinthLibraryName);
    if (!library) return nullptr;
    entry = reinterpret_cast<PlinthFeedObjectFunction>(GetProcAddress(library, kPlinthEntryPoint));
    // A library without the entry point is of no use; dropping it lets a later
    // enumeration load a proper one.
    if (!entry) {
        FreeLibrary(library);
        return nullptr;
    }
    g_entry.store(entry, std::memory_order_release);
    return entry;
}

CFeed* CreatePluginFeed(uint32_t index) {
    PlinthFeedObjectFunction entry = EntryPoint();
    return entry ? entry(index) : nullptr;
}

}  // namespace

FeedKind PluginFeedKind() { return {FeedKind::Probe::ByIndex, &CreatePluginFeed}; }
