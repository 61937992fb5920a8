#include "feeds/FeedEnumerator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

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

struct Collected {
    std::atomic<uint64_t> bytes{0};
    std::atomic<int> samples{0};
    std::atomic<int> badSync{0};
    // Continuity per PID, checked on the delivery thread only.
    int lastCounter[0x2000];
    Collected() { std::fill(std::begin(lastCounter), std::end(lastCounter), -1); }
    std::atomic<int> ccErrors{0};
};

void Collect(void* context, IMediaSample* sample) {
    auto* c = static_cast<Collected*>(context);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    long n = sample->GetActualDataLength();
    for (long off = 0; off + 188 <= n; off += 188) {
        const uint8_t* p = data + off;
        if (p[0] != 0x47) {
            c->badSync++;
            continue;
        }
        int pid = (p[1] & 0x1F) << 8 | p[2];
        bool payload = p[3] & 0x10;
        int cc = p[3] & 0x0F;
        if (pid != 0x1FFF && payload) {
            if (c->lastCounter[pid] >= 0 && cc != ((c->lastCounter[pid] + 1) & 0x0F)) c->ccErrors++;
            c->lastCounter[pid] = cc;
        }
    }
    c->bytes += static_cast<uint64_t>(n);
    c->samples++;
    sample->Release();
}

}  // namespace

TEST(Feed, FreshObjectDefaults) {
    NoDeviceFeed feed;
    EXPECT_EQ(feed.GetPacketSize(), 188);
    EXPECT_EQ(feed.GetType(), kFeedNone);
    EXPECT_EQ(feed.GetLastDataTime(), 0u);
    EXPECT_EQ(feed.GetErrorText(), nullptr);
    EXPECT_STREQ(feed.GetName(), "");
    EXPECT_FALSE(feed.HasConfigDialog());
    EXPECT_FALSE(feed.SendDiseqcMessage(nullptr, 0));
    EXPECT_EQ(feed.GetExtension(), nullptr);
    int context = 0;
    EXPECT_EQ(feed.SetCallback(&context, nullptr), &context);
}

TEST(Feed, HardwareAddressAllZeroOrNullPointerIsNotReported) {
    NoDeviceFeed feed;
    uint8_t out[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(feed.GetHardwareAddress(out));
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[5], 6);
    EXPECT_FALSE(feed.GetHardwareAddress(nullptr));
}

TEST(Feed, DestroyOfNullObjectDoesNothing) { DestroyFeed(nullptr); }

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

TEST(FeedEnumerator, DestroyBeforeAnyEnumerationDoesNothing) {
    CFeedEnumerator e;
    e.DestroyAllFeeds();
    EXPECT_EQ(e.Count(), 0u);
}

TEST(FeedEnumerator, FileFeedOnlyWhenWanted) {
    CFeedEnumerator e;
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    e.Enumerate(feeds, &count, false, false, false, 0);
    EXPECT_EQ(count, PluginExpected() ? 2u : 0u);
    count = CFeedEnumerator::kMaxFeeds;
    e.Enumerate(feeds, &count, true, false, false, 0);
    ASSERT_EQ(count, PluginExpected() ? 3u : 1u);
    // The file feed always comes last.
    EXPECT_EQ(feeds[count - 1]->GetType(), kFeedFile);
    EXPECT_EQ(feeds[count - 1]->GetCapabilities(), uint32_t(kCapFile));
}

TEST(FeedEnumerator, ListsThePluginDevicesFirstWhenTheLibraryIsFound) {
    CFeedEnumerator e;
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    EXPECT_EQ(e.Enumerate(feeds, &count, false, false, false, 0), 1);
    if (!PluginExpected()) {
        EXPECT_EQ(count, 0u);
        return;
    }
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(feeds[0]->GetName(), "Plinth Demo Satellite");
    EXPECT_EQ(feeds[0]->GetType(), kFeedDvbS);
    EXPECT_EQ(feeds[0]->GetCapabilities(), uint32_t(kCapSatellite));
    EXPECT_STREQ(feeds[1]->GetName(), "Plinth Demo Terrestrial");
    EXPECT_EQ(feeds[1]->GetType(), kFeedDvbT);
    EXPECT_EQ(feeds[0]->GetPacketSize(), 188);

    uint8_t address[6] = {};
    EXPECT_TRUE(feeds[0]->GetHardwareAddress(address));
    EXPECT_EQ(address[0], 0x02);
    EXPECT_FALSE(feeds[1]->GetHardwareAddress(address));

    const uint8_t satellite[] = {0x43, 11}, cable[] = {0x44, 11}, terrestrial[] = {0x5A, 11};
    EXPECT_TRUE(feeds[0]->SupportsDeliveryDescriptor(satellite));
    EXPECT_FALSE(feeds[0]->SupportsDeliveryDescriptor(cable));
    EXPECT_FALSE(feeds[0]->SupportsDeliveryDescriptor(terrestrial));
    EXPECT_TRUE(feeds[1]->SupportsDeliveryDescriptor(terrestrial));
    EXPECT_FALSE(feeds[1]->SupportsDeliveryDescriptor(nullptr));
}

TEST(FeedEnumerator, SmallCapacityWritesOnlyThatManyButKeepsAllListed) {
    if (!PluginExpected()) GTEST_SKIP() << "needs the example plug-in on the library path";
    CFeedEnumerator e;
    CFeed* feeds[2] = {nullptr, nullptr};
    uint32_t count = 1;
    e.Enumerate(feeds, &count, true, false, false, 0);
    EXPECT_EQ(count, 1u);
    EXPECT_NE(feeds[0], nullptr);
    EXPECT_EQ(feeds[1], nullptr);
    EXPECT_EQ(e.Count(), 3u);
}

TEST(FeedEnumerator, EnumeratingAgainReplacesTheFirstSet) {
    if (!PluginExpected()) GTEST_SKIP() << "needs the example plug-in on the library path";
    CFeedEnumerator e;
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    e.Enumerate(feeds, &count, true, false, false, 0);
    count = CFeedEnumerator::kMaxFeeds;
    e.Enumerate(feeds, &count, true, false, false, 0);
    // The leak checker reports the first set if it was not destroyed.
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(e.Count(), 3u);
}

TEST(FeedEnumerator, TwoOwnersNeverDestroyEachOthersFeeds) {
    if (!PluginExpected()) GTEST_SKIP() << "needs the example plug-in on the library path";
    CFeedEnumerator first;
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    first.Enumerate(feeds, &count, true, false, false, 0);
    ASSERT_EQ(count, 3u);
    Collected collected;
    feeds[0]->SetCallback(&collected, &Collect);
    ASSERT_TRUE(feeds[0]->Start(0));
    {
        CFeedEnumerator second;
        CFeed* others[CFeedEnumerator::kMaxFeeds] = {};
        uint32_t n = CFeedEnumerator::kMaxFeeds;
        second.Enumerate(others, &n, true, false, false, 0);
        EXPECT_EQ(n, 3u);
        EXPECT_NE(others[0], feeds[0]);
        second.DestroyAllFeeds();
    }
    // The first owner's running feed is still alive and delivering.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (collected.bytes < 200'000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    feeds[0]->Stop();
    EXPECT_GE(collected.bytes.load(), 200'000u);
    EXPECT_EQ(collected.bytes.load() % 188, 0u);
    EXPECT_EQ(collected.badSync.load(), 0);
    EXPECT_EQ(collected.ccErrors.load(), 0);
    EXPECT_EQ(feeds[0]->GetStatus() & kStatusLocked, 0);
}

TEST(FeedEnumerator, PluginDeviceDeliversAtItsRate) {
    if (!PluginExpected()) GTEST_SKIP() << "needs the example plug-in on the library path";
    CFeedEnumerator e;
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    e.Enumerate(feeds, &count, true, false, false, 0);
    ASSERT_GE(count, 2u);
    Collected collected;
    feeds[1]->SetCallback(&collected, &Collect);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(feeds[1]->Start(0));
    EXPECT_NE(feeds[1]->GetStatus() & kStatusLocked, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    feeds[1]->Stop();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double rate = collected.bytes.load() * 8.0 / seconds;
    // 8 Mbit/s device; the window is generous for loaded machines and sanitizers.
    EXPECT_GT(rate, 4e6);
    EXPECT_LT(rate, 9e6);
    EXPECT_EQ(collected.ccErrors.load(), 0);
    // Restart after stop works; the device starts a fresh stream.
    Collected again;
    feeds[1]->SetCallback(&again, &Collect);
    ASSERT_TRUE(feeds[1]->Start(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    feeds[1]->Stop();
    EXPECT_GT(again.bytes.load(), 0u);
    EXPECT_EQ(again.ccErrors.load(), 0);
}
