#include "feeds/FeedEnumerator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/graph/CMemAllocator.h"

namespace {

// The plug-in is only on the library search path of the "WithPlugin" run.
bool PluginExpected() { return std::getenv("KESTREL_EXPECT_PLUGIN") != nullptr; }

class NoDeviceFeed : public CFeed {
public:
    bool Start(int32_t) override { return false; }
    void Stop() override {}
    bool SupportsDeliveryDescriptor(const uint8_t*) override { return false; }
    bool Tune(const TuningParameters*) override { return false; }
    uint8_t GetStatus() override { return 0; }
    uint16_t GetSignalLevel() override { return 0; }
    uint32_t GetReceptionValue() override { return 0; }
    using CFeed::Deliver;
};

// Checks sync and per-PID continuity on the delivery thread.
struct Collected {
    std::atomic<uint64_t> bytes{0};
    std::atomic<int> badSync{0}, ccErrors{0};
    int lastCounter[0x2000];
    Collected() { std::fill(std::begin(lastCounter), std::end(lastCounter), -1); }

    static void Callback(void* context, IMediaSample* sample) {
        auto* c = static_cast<Collected*>(context);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const long n = sample->GetActualDataLength();
        for (long off = 0; off + 188 <= n; off += 188) {
            const uint8_t* p = data + off;
            if (p[0] != 0x47) {
                c->badSync++;
                continue;
            }
            const int pid = (p[1] & 0x1F) << 8 | p[2], cc = p[3] & 0x0F;
            if (pid != 0x1FFF && (p[3] & 0x10)) {
                if (c->lastCounter[pid] >= 0 && cc != ((c->lastCounter[pid] + 1) & 0x0F)) c->ccErrors++;
                c->lastCounter[pid] = cc;
            }
        }
        c->bytes += static_cast<uint64_t>(n);
        sample->Release();
    }
    bool WaitForBytes(uint64_t n) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (bytes < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return bytes >= n;
    }
};

}  // namespace

TEST(Feed, DeliveryWithoutCallbackReleasesTheSample) {
    HRESULT hr = S_OK;
    ComPtr<CMemAllocator> allocator(new CMemAllocator("test", nullptr, &hr));
    ALLOCATOR_PROPERTIES request{1, 188, 1, 0}, actual{};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    NoDeviceFeed feed;
    for (int i = 0; i < 3; ++i) {
        IMediaSample* sample = nullptr;
        // With one buffer this only succeeds when the previous delivery gave it back.
        ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK) << i;
        feed.Deliver(sample);
    }
    EXPECT_NE(feed.GetLastDataTime(), 0u);
    allocator->Decommit();
}

TEST(FeedEnumerator, ListsThePluginDevicesFirstAndTheFileFeedOnlyWhenWanted) {
    CFeedEnumerator e;
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    EXPECT_EQ(e.Enumerate(feeds, &count, false, false, false, 0), 1);
    ASSERT_EQ(count, PluginExpected() ? 2u : 0u);
    if (PluginExpected()) {
        EXPECT_STREQ(feeds[0]->GetName(), "Plinth Demo Satellite");
        EXPECT_EQ(feeds[0]->GetType(), kFeedDvbS);
        EXPECT_STREQ(feeds[1]->GetName(), "Plinth Demo Terrestrial");
        EXPECT_EQ(feeds[1]->GetType(), kFeedDvbT);
        uint8_t address[6] = {};
        EXPECT_TRUE(feeds[0]->GetHardwareAddress(address));
        EXPECT_EQ(address[0], 0x02);
        EXPECT_FALSE(feeds[1]->GetHardwareAddress(address));
        const uint8_t satellite[] = {0x43, 11}, terrestrial[] = {0x5A, 11};
        EXPECT_TRUE(feeds[0]->SupportsDeliveryDescriptor(satellite));
        EXPECT_FALSE(feeds[0]->SupportsDeliveryDescriptor(terrestrial));
        EXPECT_TRUE(feeds[1]->SupportsDeliveryDescriptor(terrestrial));
        EXPECT_FALSE(feeds[1]->SupportsDeliveryDescriptor(nullptr));
    }

    // Enumerating again replaces the first set (the leak checker reports it otherwise);
    // the file feed comes last.
    count = CFeedEnumerator::kMaxFeeds;
    e.Enumerate(feeds, &count, true, false, false, 0);
    ASSERT_EQ(count, PluginExpected() ? 3u : 1u);
    EXPECT_EQ(feeds[count - 1]->GetType(), kFeedFile);
    EXPECT_EQ(feeds[count - 1]->GetCapabilities(), uint32_t(kCapFile));

    // A small capacity is written no further, but everything stays listed.
    CFeed* few[2] = {nullptr, nullptr};
    count = 1;
    e.Enumerate(few, &count, true, false, false, 0);
    EXPECT_EQ(count, 1u);
    EXPECT_NE(few[0], nullptr);
    EXPECT_EQ(few[1], nullptr);
    EXPECT_EQ(e.Count(), PluginExpected() ? 3u : 1u);
}

// One owner's device keeps delivering a valid stream while a second owner enumerates
// and destroys its own set on another thread; a stopped device starts again.
TEST(FeedEnumerator, TwoOwnersNeverDestroyEachOthersFeeds) {
    if (!PluginExpected()) GTEST_SKIP() << "needs the example plug-in on the library path";
    CFeedEnumerator first;
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    first.Enumerate(feeds, &count, true, false, false, 0);
    ASSERT_EQ(count, 3u);
    Collected collected;
    feeds[0]->SetCallback(&collected, &Collected::Callback);
    ASSERT_TRUE(feeds[0]->Start(0));
    EXPECT_NE(feeds[0]->GetStatus() & kStatusLocked, 0);
    std::thread other([&] {
        for (int i = 0; i < 3; ++i) {
            CFeedEnumerator second;
            CFeed* others[CFeedEnumerator::kMaxFeeds] = {};
            uint32_t n = CFeedEnumerator::kMaxFeeds;
            second.Enumerate(others, &n, true, false, false, 0);
            EXPECT_EQ(n, 3u);
            EXPECT_NE(others[0], feeds[0]);
            second.DestroyAllFeeds();
        }
    });
    other.join();
    EXPECT_TRUE(collected.WaitForBytes(200'000));
    feeds[0]->Stop();
    EXPECT_EQ(collected.bytes % 188, 0u);
    EXPECT_EQ(collected.badSync, 0);
    EXPECT_EQ(collected.ccErrors, 0);
    EXPECT_EQ(feeds[0]->GetStatus() & kStatusLocked, 0);

    Collected again;
    feeds[0]->SetCallback(&again, &Collected::Callback);
    ASSERT_TRUE(feeds[0]->Start(0));
    EXPECT_TRUE(again.WaitForBytes(188 * 7));
    feeds[0]->Stop();
    EXPECT_EQ(again.ccErrors, 0);
}
