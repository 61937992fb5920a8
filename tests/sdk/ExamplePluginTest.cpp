// The example plug-in, loaded as the filter loads it, against the lifecycle its header
// promises: Stop from inside the data callback, Start again, Destroy while running.
#include "feeds/sdk/Feed.h"
#include "tests/support/WaitUntil.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace {

struct Delivered {
    std::atomic<int> samples{0};
    std::atomic<int> badSamples{0};
    std::atomic<int> stopAt{0};  // the sample on which the callback calls Stop; 0 never
    std::atomic<bool> stopReturned{false};
    CFeed* feed = nullptr;
};

void OnSample(void* context, IMediaSample* sample) {
    auto* d = static_cast<Delivered*>(context);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    LONG length = sample->GetActualDataLength();
    bool whole = length > 0 && length % 188 == 0 && length <= 770'048;
    for (LONG at = 0; whole && at < length; at += 188) whole = data[at] == 0x47;
    if (!whole) d->badSamples++;
    sample->Release();
    if (++d->samples == d->stopAt.load()) {
        d->feed->Stop();
        d->stopReturned = true;
    }
}

class ExamplePlugin : public ::testing::Test {
protected:
    void SetUp() override {
        const char* dir = std::getenv("KESTREL_TEST_PLUGINS");
        ASSERT_NE(dir, nullptr);
        library_ = dlopen((std::string(dir) + "/" + kPlinthLibraryName).c_str(), RTLD_NOW);
        ASSERT_NE(library_, nullptr) << dlerror();
        entry_ = reinterpret_cast<PlinthFeedObjectFunction>(dlsym(library_, kPlinthEntryPoint));
        ASSERT_NE(entry_, nullptr);
    }
    void* library_ = nullptr;
    PlinthFeedObjectFunction entry_ = nullptr;
};

TEST_F(ExamplePlugin, StopInsideTheCallbackEndsDeliveryAndStartResumesIt) {
    CFeed* feed = entry_(1);  // the 8 Mbit/s device: a sample every few milliseconds
    ASSERT_NE(feed, nullptr);
    Delivered d;
    d.feed = feed;
    d.stopAt = 3;
    feed->SetCallback(&d, OnSample);
    ASSERT_TRUE(feed->Start(0));
    EXPECT_TRUE(feed->Start(0));  // while running: keeps running
    ASSERT_TRUE(WaitUntil([&] { return d.stopReturned.load(); }));
    EXPECT_EQ(feed->GetStatus() & kStatusLocked, 0);

    d.stopAt = 0;
    ASSERT_TRUE(feed->Start(0));
    EXPECT_EQ(feed->GetStatus() & kStatusLocked, kStatusLocked);
    ASSERT_TRUE(WaitUntil([&] { return d.samples.load() >= 6; }));
    EXPECT_NE(feed->GetLastDataTime(), 0u);
    // Running: Destroy must end the thread before it returns, or the thread would go on
    // into the freed feed and into d, which ends here.
    DestroyFeed(feed);
    EXPECT_EQ(d.badSamples.load(), 0);
}

}  // namespace
