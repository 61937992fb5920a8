// The filter object on its own: modes, feed control, persistence, interfaces.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/com/TaskMemory.h"
#include "platform/graph/CBasePin.h"
#include "platform/graph/CMemAllocator.h"
#include "platform/graph/CMemoryStream.h"
#include "tests/filter/FilterTestSupport.h"

namespace {

uint32_t ModeOf(TestFilter& f, std::string* text = nullptr) {
    uint32_t mode = 99;
    char buffer[kSourceTextSize];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(f.control->GetMode(&mode, buffer), S_OK);
    if (text) *text = buffer;
    return mode;
}

class FeedFilterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(CountingControl(), nullptr) << "the counting plug-in must be on the library path"; }
};

}  // namespace

TEST_F(FeedFilterTest, ListsTheFeedsOfThePluginInOrder) {
    TestFilter f;
    int32_t type = -1;
    const char *name = nullptr, *details = nullptr;
    ASSERT_TRUE(f.control->GetFeedInfo(0, &type, &name, &details));
    EXPECT_EQ(type, kFeedDvbS);
    EXPECT_STREQ(name, "Counting Feed A");
    EXPECT_STREQ(details, "first counting device");
    ASSERT_TRUE(f.control->GetFeedInfo(1, &type, &name, &details));
    EXPECT_STREQ(name, "Counting Feed B");
    ASSERT_TRUE(f.control->GetFeedInfo(2, &type, &name, &details));
    EXPECT_EQ(type, kFeedFile);
    EXPECT_FALSE(f.control->GetFeedInfo(3, &type, &name, &details));
    EXPECT_FALSE(f.control->GetFeedInfo(0, nullptr, &name, &details));
    EXPECT_FALSE(f.control->GetFeedInfo(0, &type, nullptr, &details));
    EXPECT_FALSE(f.control->GetFeedInfo(0, &type, &name, nullptr));
    EXPECT_FALSE(f.control->GetFeedInfo(256, &type, &name, &details));
    EXPECT_FALSE(f.control->GetFeedInfo(0xFFFFFFFF, &type, &name, &details));
}

TEST_F(FeedFilterTest, ModeTableOfTypeLockAndSignal) {
    TestFilter f;
    f.WaitForList();
    f.Feed(0)->status = 0;
    f.Feed(0)->signal = 1234;

    ASSERT_EQ(f.control->SetMode(kModeFile, "nothing.ts"), S_OK);
    EXPECT_EQ(f.control->GetFeedType(), kFeedFile);
    ASSERT_EQ(f.control->SetMode(kModePassThrough, nullptr), S_OK);
    EXPECT_EQ(f.control->GetFeedType(), kFeedNone);
    EXPECT_EQ(f.control->IsLocked(), 1);
    EXPECT_EQ(f.control->GetSignalLevel(), 65535);
    ASSERT_EQ(f.control->SetMode(kModeHostSupplied, nullptr), S_OK);
    EXPECT_EQ(f.control->GetFeedType(), kFeedHostStream);
    EXPECT_EQ(f.control->IsLocked(), 1);
    EXPECT_EQ(f.control->GetSignalLevel(), 65535);
    ASSERT_EQ(f.control->SetMode(7, nullptr), S_OK);
    EXPECT_EQ(f.control->GetFeedType(), kFeedNone);

    // Mode 0 asks the selected feed.
    ASSERT_EQ(f.control->SetMode(kModeLiveFeed, "Counting Feed A"), S_OK);
    EXPECT_EQ(f.control->GetFeedType(), kFeedDvbS);
    EXPECT_EQ(f.control->IsLocked(), 0);
    EXPECT_EQ(f.control->GetSignalLevel(), 1234);
    f.Feed(0)->status = kStatusLocked;
    EXPECT_EQ(f.control->IsLocked(), 1);
    f.Feed(0)->status = 0xF7;
    EXPECT_EQ(f.control->IsLocked(), 0);
    f.control->SetMode(kModeHostSupplied, nullptr);
}

TEST_F(FeedFilterTest, SetModeStartsAndStopsFeedsAndKeepsTheSelectionForUnknownNames) {
    TestFilter f;
    f.WaitForList();
    CountingFeedState* a = f.Feed(0);
    CountingFeedState* b = f.Feed(1);
    ASSERT_EQ(f.control->SetMode(kModeLiveFeed, "Counting Feed B"), S_OK);
    EXPECT_EQ(b->starts.load(), 1);
    EXPECT_EQ(a->starts.load(), 0);
    std::string text;
    EXPECT_EQ(ModeOf(f, &text), kModeLiveFeed);
    EXPECT_EQ(text, "Counting Feed B");

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
    ASSERT_EQ(f.control->SetMode(kModeHostSupplied, nullptr), S_OK);
    EXPECT_EQ(a->stops.load(), 1);
    EXPECT_EQ(b->stops.load(), 1);
}

TEST_F(FeedFilterTest, TuneAndDiseqcGoToTheSelectedFeedOnly) {
    TestFilter f;
    f.WaitForList();
    TuningParameters params{};
    params.word[0] = kFeedDvbS;
    EXPECT_EQ(f.control->Tune(&params), S_OK);  // mode 0, feed 0 selected
    EXPECT_EQ(f.Feed(0)->tunes.load(), 1);
    f.Feed(0)->tuneResult = false;
    EXPECT_EQ(f.control->Tune(&params), S_FALSE);
    uint8_t message[4] = {0xE0, 0x10, 0x38, 0xF0};
    EXPECT_TRUE(f.control->SendDiseqcMessage(message, 4));
    EXPECT_EQ(f.Feed(0)->diseqc.load(), 1);

    // The file mode selects the file feed, which accepts any tuning.
    f.control->SetMode(kModeFile, "x.ts");
    EXPECT_EQ(f.control->Tune(&params), S_OK);
    EXPECT_FALSE(f.control->SendDiseqcMessage(message, 4));
    f.control->SetMode(kModeHostSupplied, nullptr);
    EXPECT_EQ(f.control->Tune(&params), S_OK);
    EXPECT_FALSE(f.control->SendDiseqcMessage(message, 4));
    EXPECT_EQ(f.Feed(0)->tunes.load(), 2);
    EXPECT_EQ(f.Feed(0)->diseqc.load(), 1);
}

TEST_F(FeedFilterTest, SourceTextIsCutTo259Characters) {
    TestFilter f;
    std::string longName(400, 'n');
    f.control->SetMode(kModeHostSupplied, longName.c_str());
    std::string text;
    ModeOf(f, &text);
    EXPECT_EQ(text, std::string(259, 'n'));
    f.control->SetMode(kModeHostSupplied, nullptr);
    ModeOf(f, &text);
    EXPECT_EQ(text, "");
}

TEST_F(FeedFilterTest, HostModeSetAtOnceNeverBlocksTheControlInterface) {
    TestFilter f;
    ASSERT_EQ(f.control->SetMode(kModeHostSupplied, nullptr), S_OK);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(f.control->GetFeedType(), kFeedHostStream);
    EXPECT_EQ(f.control->IsLocked(), 1);
    TuningParameters params{};
    EXPECT_EQ(f.control->Tune(&params), S_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}

TEST_F(FeedFilterTest, MutedDropsFeedDataButNotHostSamples) {
    TestFilter f;
    f.WaitForList();
    ASSERT_EQ(f.control->SetMode(kModeLiveFeed, "Counting Feed A"), S_OK);
    ASSERT_TRUE(CountingControl()->deliver(0, 3, 188 * 10));
    EXPECT_EQ(f.object->Queue()->Count(), 3);
    EXPECT_TRUE(f.control->SetMuted(true));
    ASSERT_TRUE(CountingControl()->deliver(0, 5, 188 * 10));
    EXPECT_EQ(f.object->Queue()->Count(), 3);

    HRESULT hr = S_OK;
    ComPtr<CMemAllocator> allocator(new CMemAllocator("test", nullptr, &hr));
    ALLOCATOR_PROPERTIES request{1, 376, 1, 0}, actual{};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    sample->SetActualDataLength(376);
    REFERENCE_TIME s = 10, e = 20;
    sample->SetTime(&s, &e);
    f.input->DeliverSample(sample);
    f.input->DeliverBuffer(nullptr, 0);
    EXPECT_EQ(f.object->Queue()->Count(), 5);
    sample->Release();  // the caller kept its reference
    allocator->Decommit();
    f.control->SetMode(kModeHostSupplied, nullptr);
}

TEST_F(FeedFilterTest, PersistsModeAndSourceTextInItsOwnLayout) {
    TestFilter f;
    f.control->SetMode(kModeHostSupplied, "abc:LOOP:");
    ComPtr<IPersistStream> persist;
    ASSERT_EQ(f.filter.As(IID_IPersistStream, &persist), S_OK);
    CLSID clsid{};
    ASSERT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TSFeedFilter);
    ULARGE_INTEGER size{};
    ASSERT_EQ(persist->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, 24u + 264u);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    ComPtr<IStream> stream;
    ASSERT_EQ(CreateMemoryStream(stream.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
    std::vector<BYTE> bytes = CMemoryStream::FromStream(stream.Get())->Contents();
    ASSERT_EQ(bytes.size(), 24u + 264u);
    const char header[] = "00000000000 ";
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(bytes[2 * i], uint8_t(header[i])) << i;
        EXPECT_EQ(bytes[2 * i + 1], 0) << i;
    }
    EXPECT_EQ(bytes[24], 3);
    EXPECT_EQ(bytes[25], 0);
    EXPECT_EQ(bytes[26], 0);
    EXPECT_EQ(bytes[27], 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&bytes[28])), "abc:LOOP:");
    for (size_t i = 28 + 9; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << i;

    // Loading restores both fields and starts nothing.
    TestFilter g;
    g.WaitForList();
    ComPtr<IPersistStream> persist2;
    ASSERT_EQ(g.filter.As(IID_IPersistStream, &persist2), S_OK);
    std::vector<BYTE> live = bytes;
    live[24] = 0;  // mode 0 with a feed's name
    std::memset(&live[28], 0, 260);
    std::memcpy(&live[28], "Counting Feed B", 15);
    ComPtr<IStream> in;
    ASSERT_EQ(CreateMemoryStream(live.data(), live.size(), in.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(persist2->Load(in.Get()), S_OK);
    std::string text;
    EXPECT_EQ(ModeOf(g, &text), kModeLiveFeed);
    EXPECT_EQ(text, "Counting Feed B");
    EXPECT_EQ(g.Feed(1)->starts.load(), 0);
    EXPECT_EQ(g.Feed(0)->starts.load(), 0);

    // A truncated stream is refused and changes nothing.
    ComPtr<IStream> shortStream;
    ASSERT_EQ(CreateMemoryStream(bytes.data(), 100, shortStream.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(FAILED(persist2->Load(shortStream.Get())));
}

TEST_F(FeedFilterTest, InterfacesInTheirOrder) {
    TestFilter f;
    void* p = nullptr;
    for (const IID& iid : {IID_IUnknown, IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_ISpecifyPropertyPages,
                           IID_IPersistStream, IID_ITSFeedControl, IID_ITSFeedSampleInput, IID_IAMovieSetup}) {
        ASSERT_EQ(f.filter->QueryInterface(iid, &p), S_OK) << GuidToString(iid);
        static_cast<IUnknown*>(p)->Release();
    }
    EXPECT_EQ(f.filter->QueryInterface(IID_IPin, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    CLSID clsid{};
    EXPECT_EQ(f.filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TSFeedFilter);

    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(f.filter.As(IID_ISpecifyPropertyPages, &pages), S_OK);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_EQ(list.pElems[0], CLSID_TSFeedPropertyPage);
    CoTaskMemFree(list.pElems);
}

TEST_F(FeedFilterTest, PinsByIndexAndState) {
    TestFilter f;
    EXPECT_EQ(f.object->GetPinCount(), 2);
    ASSERT_NE(f.object->GetPin(0), nullptr);
    ASSERT_NE(f.object->GetPin(1), nullptr);
    EXPECT_EQ(f.object->GetPin(2), nullptr);
    EXPECT_EQ(f.object->GetPin(-1), nullptr);
    PIN_INFO info{};
    f.object->GetPin(0)->QueryPinInfo(&info);
    EXPECT_EQ(std::u16string(info.achName), u"TS Out");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    if (info.pFilter) info.pFilter->Release();
    f.object->GetPin(1)->QueryPinInfo(&info);
    EXPECT_EQ(std::u16string(info.achName), u"Antenna");
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    if (info.pFilter) info.pFilter->Release();

    FILTER_STATE state;
    EXPECT_EQ(f.filter->GetState(0, nullptr), E_POINTER);
    EXPECT_EQ(f.filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
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
    EXPECT_EQ(f.Feed(0)->stops.load(), 1);
    EXPECT_EQ(f.filter->Stop(), S_OK);
    EXPECT_EQ(f.Feed(0)->stops.load(), 1);

    // A feed started by SetMode is not started again by Pause; Stop stops it.
    f.control->SetMode(kModeLiveFeed, "Counting Feed B");
    EXPECT_EQ(f.filter->Pause(), S_OK);
    EXPECT_EQ(f.Feed(1)->starts.load(), 1);
    EXPECT_EQ(f.filter->Stop(), S_OK);
    EXPECT_EQ(f.Feed(1)->stops.load(), 1);
}

TEST_F(FeedFilterTest, PauseInHostModeStartsNothing) {
    TestFilter f;
    f.WaitForList();
    f.control->SetMode(kModeHostSupplied, nullptr);
    EXPECT_EQ(f.filter->Pause(), S_OK);
    EXPECT_EQ(f.filter->Stop(), S_OK);
    EXPECT_EQ(f.Feed(0)->starts.load(), 0);
}

TEST_F(FeedFilterTest, TwoFiltersNeverDestroyEachOthersFeeds) {
    TestFilter first;
    first.WaitForList();
    ASSERT_EQ(first.control->SetMode(kModeLiveFeed, "Counting Feed A"), S_OK);
    CountingFeedState* mine = first.Feed(0);
    int liveBefore = CountingControl()->liveObjects();
    {
        TestFilter second;
        second.WaitForList();
        EXPECT_NE(second.generation, first.generation);
        EXPECT_EQ(CountingControl()->liveObjects(), liveBefore + kCountingDevices);
        second.control->SetMode(kModeHostSupplied, nullptr);
    }
    EXPECT_EQ(CountingControl()->liveObjects(), liveBefore);
    EXPECT_TRUE(mine->alive.load());
    EXPECT_TRUE(mine->running.load());
    first.control->SetMode(kModeHostSupplied, nullptr);
}

TEST_F(FeedFilterTest, DestroyingTheFilterStopsAndDestroysItsFeeds) {
    CountingFeedState* a = nullptr;
    {
        TestFilter f;
        f.WaitForList();
        f.control->SetMode(kModeLiveFeed, "Counting Feed A");
        a = f.Feed(0);
        EXPECT_TRUE(a->running.load());
    }
    EXPECT_FALSE(a->alive.load());
}
