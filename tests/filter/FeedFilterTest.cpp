// The filter object on its own: modes, feed control, persistence, interfaces.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/graph/CBaseInputPin.h"
#include "platform/graph/CMemoryStream.h"
#include "tests/filter/FilterTestSupport.h"
#include "tests/support/WaitUntil.h"

namespace {

using FeedFilterTest = CountingPluginTest;

}  // namespace

TEST_F(FeedFilterTest, ListsThePluginFoundThroughTheLibrarySearchThenTheFileFeed) {
    TestFilter f;
    int32_t type = -1;
    const char *name = nullptr, *details = nullptr;
    const std::pair<int32_t, const char*> listed[] = {
        {kFeedDvbS, "Counting Feed A"}, {kFeedDvbS, "Counting Feed B"}, {kFeedFile, "Counting File"}, {kFeedFile, ""}};
    for (uint32_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(f.control->GetFeedInfo(i, &type, &name, &details)) << i;
        EXPECT_EQ(type, listed[i].first) << i;
        if (i < 3) {
            EXPECT_STREQ(name, listed[i].second) << i;
        }
    }
    ASSERT_TRUE(f.control->GetFeedInfo(0, &type, &name, &details));
    EXPECT_STREQ(details, "first counting device");
    EXPECT_FALSE(f.control->GetFeedInfo(4, &type, &name, &details));
    EXPECT_FALSE(f.control->GetFeedInfo(0, &type, nullptr, &details));
    EXPECT_FALSE(f.control->GetFeedInfo(0xFFFFFFFF, &type, &name, &details));
}

TEST_F(FeedFilterTest, ModeTableOfTypeLockSignalTuneAndDiseqc) {
    TestFilter f;
    f.WaitForList();
    CountingFeedState* a = f.Feed(0);
    a->status = 0;
    a->signal = 1234;
    TuningParameters params{};
    uint8_t message[4] = {0xE0, 0x10, 0x38, 0xF0};

    // Mode 0 asks the selected feed, index 0 until a name selects another.
    EXPECT_EQ(f.control->GetFeedType(), kFeedDvbS);
    EXPECT_EQ(f.control->IsLocked(), 0);
    EXPECT_EQ(f.control->GetSignalLevel(), 1234);
    a->status = 0xF7;
    EXPECT_EQ(f.control->IsLocked(), 0) << "only the lock bit counts";
    a->status = kStatusLocked;
    EXPECT_EQ(f.control->IsLocked(), 1);
    EXPECT_EQ(f.control->Tune(&params), S_OK);
    a->tuneResult = false;
    EXPECT_EQ(f.control->Tune(&params), S_FALSE);
    EXPECT_TRUE(f.control->SendDiseqcMessage(message, 4));

    // The file mode selects this module's file feed, which takes any tuning but no
    // DiSEqC, and leaves alone the plug-in's device that reports the file type.
    ASSERT_EQ(f.control->SetMode(kModeFile, "nothing.ts"), S_OK);
    EXPECT_EQ(f.control->GetFeedType(), kFeedFile);
    EXPECT_EQ(f.Feed(2)->starts.load(), 0);
    EXPECT_EQ(f.control->IsLocked(), 1);
    EXPECT_EQ(f.control->GetSignalLevel(), 65535);
    EXPECT_EQ(f.control->Tune(&params), S_OK);
    EXPECT_FALSE(f.control->SendDiseqcMessage(message, 4));
    for (uint32_t mode : {uint32_t(kModePassThrough), uint32_t(kModeHostSupplied), 7u}) {
        ASSERT_EQ(f.control->SetMode(mode, nullptr), S_OK);
        EXPECT_EQ(f.control->GetFeedType(), mode == kModeHostSupplied ? kFeedHostStream : kFeedNone) << mode;
        EXPECT_EQ(f.control->IsLocked(), 1) << mode;
        EXPECT_EQ(f.control->GetSignalLevel(), 65535) << mode;
        EXPECT_EQ(f.control->Tune(&params), S_OK) << mode;
        EXPECT_FALSE(f.control->SendDiseqcMessage(message, 4)) << mode;
    }
    EXPECT_EQ(a->tunes.load(), 2);
    EXPECT_EQ(a->diseqc.load(), 1);
}

TEST_F(FeedFilterTest, SetModeStartsAndStopsFeedsAndKeepsTheSelectionForUnknownNames) {
    TestFilter f;
    f.WaitForList();
    CountingFeedState* a = f.Feed(0);
    CountingFeedState* b = f.Feed(1);
    ASSERT_EQ(f.control->SetMode(kModeLiveFeed, "Counting Feed B"), S_OK);
    EXPECT_EQ(b->starts.load(), 1);
    EXPECT_EQ(a->starts.load(), 0);
    EXPECT_EQ(f.Mode(), ModeAndText(kModeLiveFeed, "Counting Feed B"));

    // Case matters: no feed has this name, the running one stops, nothing starts.
    ASSERT_EQ(f.control->SetMode(kModeLiveFeed, "counting feed a"), S_OK);
    EXPECT_EQ(b->stops.load(), 1);
    EXPECT_EQ(a->starts.load(), 0);
    EXPECT_FALSE(b->running.load());
    // The selection still points at B, whose status is now asked.
    b->signal = 777;
    EXPECT_EQ(f.control->GetSignalLevel(), 777);

    ASSERT_EQ(f.control->SetMode(kModeLiveFeed, "Counting Feed A"), S_OK);
    EXPECT_EQ(a->starts.load(), 1);
    ASSERT_EQ(f.control->SetMode(kModeHostSupplied, std::string(400, 'n').c_str()), S_OK);
    EXPECT_EQ(a->stops.load(), 1);
    EXPECT_EQ(b->stops.load(), 1);
    EXPECT_EQ(f.Mode().second, std::string(259, 'n')) << "the source text is cut to its field";
}

// Another enumeration in the process holds the list builder back until the host has
// chosen the host-supplied mode; the builder then skips the enumeration, and a feed
// mode later finds no feed to pause.
TEST_F(FeedFilterTest, HostModeSetBeforeTheEnumerationBeginsSkipsIt) {
    static std::atomic<bool> entered{false}, open{false};
    const FeedKind gate[] = {{FeedKind::Probe::Single, [](uint32_t) -> CFeed* {
                                  entered = true;
                                  while (!open) std::this_thread::yield();
                                  return nullptr;
                              }}};
    CFeedEnumerator holder(gate);
    std::thread holding([&] { holder.Enumerate(nullptr, nullptr, {}); });
    ASSERT_TRUE(WaitUntil([] { return entered.load(); }));
    const int generations = CountingControl()->generations();

    TestFilter f;
    std::thread host([&] { EXPECT_EQ(f.control->SetMode(kModeHostSupplied, nullptr), S_OK); });
    ASSERT_TRUE(WaitUntil([&] { return f.object->Mode() == kModeHostSupplied; }));
    open = true;
    holding.join();
    host.join();

    int32_t type;
    const char *name, *details;
    EXPECT_FALSE(f.control->GetFeedInfo(0, &type, &name, &details));
    EXPECT_EQ(CountingControl()->generations(), generations) << "the plug-in was probed";
    EXPECT_EQ(f.control->GetFeedType(), kFeedHostStream);

    ASSERT_EQ(f.control->SetMode(kModeLiveFeed, "Counting Feed A"), S_OK);
    EXPECT_EQ(f.filter->Pause(), S_FALSE) << "no feed at the selected index";
    EXPECT_EQ(f.filter->Stop(), S_OK);
}

TEST_F(FeedFilterTest, MutedDropsFeedDataButNotHostSamplesAndAntennaTakesOnlyPassThrough) {
    TestFilter f;
    f.WaitForList();
    ASSERT_EQ(f.control->SetMode(kModeLiveFeed, "Counting Feed A"), S_OK);
    ASSERT_TRUE(CountingControl()->deliver(0, 3, 188 * 10));
    EXPECT_EQ(f.object->Queue()->Count(), 3);
    EXPECT_TRUE(f.control->SetMuted(true));
    ASSERT_TRUE(CountingControl()->deliver(0, 5, 188 * 10));
    EXPECT_EQ(f.object->Queue()->Count(), 3);

    TestSample s(376, 0x47, 10, 20);
    f.input->DeliverSample(s.sample);
    f.input->DeliverBuffer(nullptr, 0);
    EXPECT_EQ(f.object->Queue()->Count(), 5);

    // The input pin hands samples on in pass-through mode only, then as feed data.
    auto* antenna = static_cast<CBaseInputPin*>(f.object->GetPin(1));
    f.control->SetMuted(false);
    f.control->SetMode(kModeHostSupplied, nullptr);
    EXPECT_EQ(antenna->Receive(s.sample), S_OK);
    EXPECT_EQ(f.object->Queue()->Count(), 5);
    f.control->SetMode(kModePassThrough, nullptr);
    EXPECT_EQ(antenna->Receive(s.sample), S_OK);
    EXPECT_EQ(f.object->Queue()->Count(), 6);
}

TEST_F(FeedFilterTest, PersistsModeAndSourceTextInItsOwnLayout) {
    TestFilter f;
    f.control->SetMode(kModeHostSupplied, "abc:LOOP:");
    ComPtr<IPersistStream> persist;
    ASSERT_EQ(f.filter.As(IID_IPersistStream, &persist), S_OK);
    ULARGE_INTEGER size{};
    ASSERT_EQ(persist->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, 24u + 264u);

    ComPtr<IStream> stream;
    ASSERT_EQ(CreateMemoryStream(stream.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
    std::vector<BYTE> bytes = CMemoryStream::FromStream(stream.Get())->Contents();
    ASSERT_EQ(bytes.size(), 24u + 264u);
    EXPECT_EQ(bytes, SavedState(kModeHostSupplied, "abc:LOOP:"));

    // A truncated stream is refused and changes nothing.
    bytes[24] = 0;
    ComPtr<IStream> shortStream;
    ASSERT_EQ(CreateMemoryStream(bytes.data(), 100, shortStream.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(FAILED(persist->Load(shortStream.Get())));
    EXPECT_EQ(f.Mode(), ModeAndText(kModeHostSupplied, "abc:LOOP:"));
}

TEST_F(FeedFilterTest, PauseTwiceStartsTheFeedOnceAndStopStopsIt) {
    TestFilter f;
    f.WaitForList();
    // Mode 0 without SetMode: Pause starts the feed at the selected index 0.
    EXPECT_EQ(f.filter->Pause(), S_OK);
    EXPECT_EQ(f.filter->Pause(), S_OK);
    EXPECT_EQ(f.Feed(0)->starts.load(), 1);
    FILTER_STATE state;
    EXPECT_EQ(f.filter->GetState(0, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(f.filter->Stop(), S_OK);
    EXPECT_EQ(f.filter->Stop(), S_OK);
    EXPECT_EQ(f.Feed(0)->stops.load(), 1);

    // A feed started by SetMode is not started again by Pause; Stop stops it.
    f.control->SetMode(kModeLiveFeed, "Counting Feed B");
    EXPECT_EQ(f.filter->Pause(), S_OK);
    EXPECT_EQ(f.Feed(1)->starts.load(), 1);
    EXPECT_EQ(f.filter->Stop(), S_OK);
    EXPECT_EQ(f.Feed(1)->stops.load(), 1);

    // The host mode starts nothing.
    f.control->SetMode(kModeHostSupplied, nullptr);
    EXPECT_EQ(f.filter->Pause(), S_OK);
    EXPECT_EQ(f.filter->Stop(), S_OK);
    EXPECT_EQ(f.Feed(0)->starts.load() + f.Feed(1)->starts.load(), 2);
}

TEST_F(FeedFilterTest, TwoFiltersNeverDestroyEachOthersFeeds) {
    TestFilter first;
    first.WaitForList();
    ASSERT_EQ(first.control->SetMode(kModeLiveFeed, "Counting Feed A"), S_OK);
    CountingFeedState* mine = first.Feed(0);
    CountingFeedState* theirs = nullptr;
    int liveBefore = CountingControl()->liveObjects();
    {
        TestFilter second;
        second.WaitForList();
        EXPECT_NE(second.generation, first.generation);
        EXPECT_EQ(CountingControl()->liveObjects(), liveBefore + kCountingDevices);
        second.control->SetMode(kModeLiveFeed, "Counting Feed A");
        theirs = second.Feed(0);
        EXPECT_TRUE(theirs->running.load());
    }
    EXPECT_EQ(CountingControl()->liveObjects(), liveBefore);
    EXPECT_FALSE(theirs->alive.load());
    EXPECT_TRUE(mine->alive.load());
    EXPECT_TRUE(mine->running.load());
    first.control->SetMode(kModeHostSupplied, nullptr);
}
