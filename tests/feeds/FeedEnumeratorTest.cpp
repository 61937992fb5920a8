#include "feeds/FeedEnumerator.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "feeds/FileFeedSetup.h"
#include "feeds/PluginFeeds.h"
#include "feeds/sdk/FeedSamplePool.h"
#include "filter/FeedKindTable.h"

namespace {

// The example plug-in is only on the library search path of the "with plugin" run.
bool PluginExpected() { return std::getenv("KESTREL_EXPECT_PLUGIN") != nullptr; }

std::atomic<int> g_live{0};

// A feed that counts the live objects of its kind and remembers what made it.
class TestFeed : public CFeed {
public:
    TestFeed(int32_t type, uint32_t made) : made(made) {
        type_ = type;
        ++g_live;
    }
    ~TestFeed() override { --g_live; }
    bool Start(int32_t) override { return false; }
    void Stop() override {}
    bool SupportsDeliveryDescriptor(const uint8_t*) override { return false; }
    bool Tune(const TuningParameters*) override { return false; }
    uint8_t GetStatus() override { return 0; }
    uint16_t GetSignalLevel() override { return 0; }
    uint32_t GetReceptionValue() override { return 0; }
    using CFeed::Deliver;
    const uint32_t made;
};

uint32_t Made(CFeed* feed) { return static_cast<TestFeed*>(feed)->made; }

// Three devices, then an absent one (an object of type 0 that must not survive).
CFeed* ThreeCards(uint32_t index) { return new TestFeed(index < 3 ? kFeedDvbS : kFeedNone, 100 + index); }
// Two devices, then a failed allocation.
CFeed* TwoTuners(uint32_t index) { return index < 2 ? new TestFeed(kFeedDvbT, 200 + index) : nullptr; }
CFeed* Many(uint32_t index) { return new TestFeed(index < 300 ? kFeedDvbC : kFeedNone, index); }
CFeed* FileLike(uint32_t value) { return new TestFeed(kFeedFile, 500 + value); }
CFeed* AbsentSingle(uint32_t value) { return new TestFeed(kFeedNone, value); }
CFeed* SatIpLike(uint32_t value) { return new TestFeed(kFeedSatIp, 1000 + value); }

const FeedKind kTable[] = {
    {FeedKind::Probe::ByIndex, &ThreeCards},
    {FeedKind::Probe::ByIndex, &TwoTuners},
    {FeedKind::Probe::Single, &FileLike, kFeedFile},
    {FeedKind::Probe::Single, &AbsentSingle, kFeedIptv},
    {FeedKind::Probe::Single, &SatIpLike, kFeedSatIp},
};

std::vector<uint32_t> Enumerate(CFeedEnumerator& e, const FeedRequest& request, uint32_t capacity = 256) {
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = capacity;
    EXPECT_EQ(e.Enumerate(feeds, &count, request), 1);
    std::vector<uint32_t> made;
    for (uint32_t i = 0; i < count; ++i) made.push_back(Made(feeds[i]));
    return made;
}

}  // namespace

TEST(FeedEnumerator, ListsKindsInTableOrderAndOnRequestKindsOnlyWhenAsked) {
    struct Case {
        FeedRequest request;
        std::vector<uint32_t> made;
    } cases[] = {
        {FeedRequest{}, {100, 101, 102, 200, 201}},
        {FeedRequest::For({kFeedFile}), {100, 101, 102, 200, 201, 500}},
        {FeedRequest::For({kFeedSatIp, kFeedIptv, kFeedFile}, 7), {100, 101, 102, 200, 201, 507, 1007}},
        {FeedRequest::For({kFeedSatIp}, 3), {100, 101, 102, 200, 201, 1003}},
    };
    CFeedEnumerator e(kTable);
    for (const Case& c : cases) {
        EXPECT_EQ(Enumerate(e, c.request), c.made) << c.request.types;
        // The absent objects are gone, and so is every object of the set before.
        EXPECT_EQ(g_live.load(), int(c.made.size())) << c.request.types;
    }
    e.DestroyAllFeeds();
    EXPECT_EQ(g_live.load(), 0);
}

TEST(FeedEnumerator, CapacityLimitsWhatIsWrittenAndTheListHoldsAtMost256) {
    const FeedKind many[] = {{FeedKind::Probe::ByIndex, &Many}};
    {
        CFeedEnumerator e(many);
        CFeed* few[3] = {};
        uint32_t count = 2;
        e.Enumerate(few, &count, {});
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(few[2], nullptr);
        EXPECT_EQ(e.Count(), CFeedEnumerator::kMaxFeeds);
        EXPECT_EQ(g_live.load(), int(CFeedEnumerator::kMaxFeeds)) << "the surplus is destroyed at once";
    }
    EXPECT_EQ(g_live.load(), 0) << "the owner's end destroys what it listed";
}

TEST(FeedEnumerator, AbandonedEnumerationKeepsThePreviousSet) {
    CFeedEnumerator e(kTable);
    ASSERT_EQ(Enumerate(e, {}).size(), 5u);
    FeedRequest request;
    request.abandon = [] { return true; };
    EXPECT_TRUE(Enumerate(e, request).empty());
    EXPECT_EQ(e.Count(), 5u);
    EXPECT_EQ(g_live.load(), 5);
}

TEST(FeedEnumerator, DestroyingBeforeAnyEnumerationOrANullFeedDoesNothing) {
    CFeedEnumerator e(kTable);
    e.DestroyAllFeeds();
    DestroyFeed(nullptr);
    EXPECT_EQ(g_live.load(), 0);
    EXPECT_EQ(e.Count(), 0u);
}

TEST(Feed, DeliveryWithoutCallbackReleasesTheSample) {
    CFeedSamplePool pool;
    ASSERT_TRUE(pool.Reserve(1, 188));
    TestFeed feed(kFeedDvbS, 0);
    for (int i = 0; i < 3; ++i) {
        // With one buffer this only succeeds when the previous delivery gave it back.
        IMediaSample* sample = pool.Acquire();
        ASSERT_NE(sample, nullptr) << i;
        feed.Deliver(sample);
    }
    EXPECT_NE(feed.GetLastDataTime(), 0u);
}

// The module's own kinds: the plug-in devices first, then the file feed, then IPTV.
TEST(ModuleFeedKinds, ListPluginDevicesThenFreshFileAndIptvFeeds) {
    CFeedEnumerator e(ModuleFeedKinds());
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    e.Enumerate(feeds, &count, FeedRequest::For({kFeedFile, kFeedIptv}));
    const uint32_t plugins = PluginExpected() ? 2 : 0;
    ASSERT_EQ(count, plugins + 2);
    if (PluginExpected()) {
        EXPECT_STREQ(feeds[0]->GetName(), "Plinth Demo Satellite");
    }
    struct Expected {
        int32_t type;
        uint32_t capabilities;
        bool fileSetup;
    } expected[] = {{kFeedFile, kCapFile, true}, {kFeedIptv, kCapIpNetwork, false}};
    const uint8_t satellite[] = {0x43, 11}, cable[] = {0x44, 11}, terrestrial[] = {0x5A, 11};
    for (uint32_t i = 0; i < 2; ++i) {
        CFeed* feed = feeds[plugins + i];
        EXPECT_EQ(feed->GetType(), expected[i].type);
        EXPECT_EQ(feed->GetCapabilities(), expected[i].capabilities);
        EXPECT_EQ(feed->GetPacketSize(), 188);
        for (const uint8_t* descriptor : {satellite, cable, terrestrial}) {
            EXPECT_FALSE(feed->SupportsDeliveryDescriptor(descriptor)) << i << " " << int(descriptor[0]);
        }
        EXPECT_EQ(IFileFeedSetup::FromExtension(feed->GetExtension()) != nullptr, expected[i].fileSetup) << i;
    }
    // A plug-in object's extension pointer is never taken for a file setup.
    int foreign = 0;
    EXPECT_EQ(IFileFeedSetup::FromExtension(&foreign), nullptr);
}

// A miss is not remembered: the library dropped into the search path later is found.
// The search path is fixed at process start, so the test runs itself again with an
// empty directory on it.
TEST(PluginFeeds, LibraryIsLookedForAgainAfterAMiss) {
    const char* plugins = std::getenv("KESTREL_TEST_PLUGINS");
    ASSERT_NE(plugins, nullptr);
    if (const char* dir = std::getenv("KESTREL_PLUGIN_SEARCH_DIR")) {
        const FeedKind kinds[] = {PluginFeedKind()};
        CFeedEnumerator e(kinds);
        CFeed* feeds[4] = {};
        uint32_t count = 4;
        e.Enumerate(feeds, &count, {});
        ASSERT_EQ(count, 0u);
        std::filesystem::copy_file(std::filesystem::path(plugins) / "Plinth5.dll",
                                   std::filesystem::path(dir) / "Plinth5.dll");
        count = 4;
        e.Enumerate(feeds, &count, {});
        ASSERT_EQ(count, 2u);
        EXPECT_STREQ(feeds[1]->GetName(), "Plinth Demo Terrestrial");
        return;
    }
    auto dir = std::filesystem::temp_directory_path() / ("kestrel-plugin-search-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("LD_LIBRARY_PATH", dir.c_str(), 1);
        setenv("KESTREL_PLUGIN_SEARCH_DIR", dir.c_str(), 1);
        execl("/proc/self/exe", "feeds_tests", "--gtest_filter=PluginFeeds.LibraryIsLookedForAgainAfterAMiss",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run with the empty search directory failed";
}
