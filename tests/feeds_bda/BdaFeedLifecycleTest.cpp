// Starting, stopping and losing a BDA feed's tuner, with the private graph's streaming
// thread running against the caller.
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <thread>

#include "tests/feeds_bda/BdaFeedTestSupport.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/SampleRecorder.h"
#include "tests/support/WaitUntil.h"

using namespace bdatest;
using Clock = std::chrono::steady_clock;

namespace {

BdaDeclaration OneTerrestrialTuner(uint32_t bitrate = 0) {
    BdaDeclaration d;
    d.tuners = {Tuner("Sim DVB-T", BdaNetwork::DVBT)};
    if (bitrate) d.tuners[0].stream.bitrate = bitrate;
    d.tuningSpaces = AllSpaces();
    return d;
}

TEST(BdaFeedLifecycle, ATunerVanishingWhileRunningLetsStopAndDestroyReturnPromptly) {
    Simulation sim(OneTerrestrialTuner());
    SampleRecorder recorder;
    auto* feed = new CBDAFeed(0);
    feed->SetCallback(&recorder, &SampleRecorder::Callback);
    ASSERT_TRUE(feed->Start(0));
    ASSERT_TRUE(recorder.WaitForSamples(2));
    BdaSimulation::SetVanished("Sim DVB-T", true);
    EXPECT_TRUE(WaitUntil([&] { return feed->GetStatus() == 0; }, std::chrono::seconds(1)));
    const size_t seen = recorder.Total();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(recorder.Total(), seen + 188 * 1000) << "the stream ended";
    auto before = Clock::now();
    feed->Stop();
    feed->Destroy();
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(500));
    BdaSimulation::SetVanished("Sim DVB-T", false);
}

TEST(BdaFeedLifecycle, DestroyWhileRunningStopsTheHandBackFirst) {
    Simulation sim(OneTerrestrialTuner(40'000'000));
    for (int round = 0; round < 20; ++round) {
        SampleRecorder recorder;
        auto* feed = new CBDAFeed(0);
        feed->SetCallback(&recorder, &SampleRecorder::Callback);
        ASSERT_TRUE(feed->Start(0));
        ASSERT_TRUE(recorder.WaitForSamples(1));
        feed->Destroy();  // no Stop: the recorder must see nothing after this
        const size_t after = recorder.Total();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(recorder.Total(), after) << round;
    }
}

size_t HeapInUse() { return mallinfo2().uordblks; }

TEST(BdaFeedLifecycle, AThousandStartsAndStopsKeepThreadsDescriptorsAndMemoryFlat) {
    Simulation sim(OneTerrestrialTuner());
    SampleRecorder recorder;
    recorder.keep = 0;
    CBDAFeed feed(0);
    feed.SetCallback(&recorder, &SampleRecorder::Callback);
    auto cycle = [&] {
        ASSERT_TRUE(feed.Start(0)) << feed.GetErrorText();
        feed.Stop();
        BdaCallLog::Clear();  // the framework's record of calls grows by design
    };
    for (int i = 0; i < 50; ++i) cycle();  // let caches and pools settle
    const size_t threads = ThreadCount(), descriptors = OpenDescriptors(), heap = HeapInUse();
    for (int i = 0; i < 1000; ++i) cycle();
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threads; }, std::chrono::seconds(2))) << ThreadCount();
    EXPECT_EQ(OpenDescriptors(), descriptors);
    // Sanitizer builds keep their own books; the bound still catches a graph a round.
    EXPECT_LT(HeapInUse(), heap + 256 * 1024) << "heap grew from " << heap;
}

}  // namespace
