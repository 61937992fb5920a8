#include "feeds/file/FileFeed.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <thread>

#include "feeds/file/SystemErrorText.h"
#include "tests/feeds_file/FileFeedTestSupport.h"
#include "tools/tsgen/TsGenerator.h"

using namespace filefeedtest;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(FileFeedName, LoopMarkerIsCutOffAndTurnsLoopingOn) {
    CFileFeed feed;
    feed.SetFileName("/media/b.ts:LOOP:trailing:LOOP:");
    EXPECT_STREQ(feed.FileName(), "/media/b.ts");
    EXPECT_TRUE(feed.Loop());
    feed.SetFileName("/media/c.ts");
    EXPECT_TRUE(feed.Loop()) << "without the marker the flag stays";
    feed.SetLoop(false);
    feed.SetFileName("/media/:LOOP");
    EXPECT_STREQ(feed.FileName(), "/media/:LOOP");
    EXPECT_FALSE(feed.Loop());
    feed.SetFileName(nullptr);
    EXPECT_STREQ(feed.FileName(), "");
    feed.SetFileName(std::string(400, 'x').c_str());
    EXPECT_EQ(std::string(feed.FileName()), std::string(259, 'x'));
    // A marker beyond what the name field holds is not seen.
    feed.SetFileName((std::string(256, 'y') + ":LOOP:").c_str());
    EXPECT_EQ(std::string(feed.FileName()), std::string(256, 'y') + ":LO");
    EXPECT_FALSE(feed.Loop());
}

TEST_F(FileFeedTest, OpenFailuresReportTheReasonAndLeaveNothingRunning) {
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);  // must not block the start
    for (auto [name, text] : {std::pair{"missing.ts", "No such file or directory"}, {"", "Is a directory"},
                              {"pipe", "Not a regular file"}}) {
        Prepare(dir.File(name), false);
        EXPECT_FALSE(feed.Start(0)) << name;
        EXPECT_STREQ(feed.GetErrorText(), text);
        EXPECT_FALSE(feed.DeliveryRunning());
    }
    EXPECT_STREQ(SystemErrorText(0xFFFFFFFFu), "Unknown error code");
    // A good start clears the previous text.
    Prepare(dir.Write("ok.ts", Pattern(1000)), false);
    EXPECT_TRUE(feed.Start(0));
    EXPECT_EQ(feed.GetErrorText(), nullptr);
}

TEST_F(FileFeedTest, FilesTooShortToSniffKeepThePacketSizeAndPlayWholeWithOrWithoutLoop) {
    TsGenerator generator({.packetSize = 192});
    Bytes ts(100 * 192);
    generator.Generate(ts.data(), 100);
    Prepare(dir.Write("m2ts.ts", ts), false);
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(feed.GetPacketSize(), 192);
    EXPECT_EQ(recorder.Joined(), ts);

    // 204 bytes are too few to judge (sniffed, they would say 204): the size found before stays.
    const Bytes tiny(204, 0x47);
    Recorder once;
    Prepare(dir.Write("tiny.ts", tiny), false, false, 800'000, &once);
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(feed.GetPacketSize(), 192);
    EXPECT_EQ(once.Joined(), tiny);

    // Looping repeats whole passes of it.
    Recorder looped;
    looped.keep = 2040;
    Prepare(dir.File("tiny.ts"), true, false, 800'000, &looped);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(looped.WaitForBytes(2040));
    ASSERT_TRUE(StopAndWait());
    EXPECT_EQ(looped.Joined(), Repeated(tiny, 10));
    for (long n : looped.Lengths()) ASSERT_EQ(n, 204);

    // An empty file ends even when looping.
    Recorder empty;
    Prepare(dir.Write("empty.ts", Bytes{}), true, false, 800'000, &empty);
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(empty.Total(), 0u);
}

TEST_F(FileFeedTest, LoopingConcatenatesPassesWithoutGap) {
    const Bytes file = Pattern(2 * size_t{Block} + 777, 3);  // two full blocks and a partial one
    recorder.keep = 3 * file.size();
    Prepare(dir.Write("loop.ts", file), true);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForBytes(3 * file.size(), std::chrono::seconds(20)));
    ASSERT_TRUE(StopAndWait());
    EXPECT_TRUE(recorder.Joined() == Repeated(file, 3));
    const auto lengths = recorder.Lengths();
    ASSERT_GE(lengths.size(), 9u);
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(lengths[i], i % 3 == 2 ? 777 : long{Block}) << i;
}

TEST_F(FileFeedTest, TailIsDeliveredAtTheEndOfAFileAndStopDropsWhatIsQueued) {
    // The producer reaches the end long before the slow consumer has taken the blocks.
    const Bytes file = Pattern(6 * size_t{Block} + 12'345, 5);
    recorder.delayMs = 30;
    Prepare(dir.Write("tail.ts", file), false);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(feed.WaitForDeliveryEnd(10000));
    EXPECT_EQ(recorder.Lengths().size(), 7u);
    EXPECT_TRUE(recorder.Joined() == file);

    // The same with a stop after the first block: the rest is dropped at once.
    Recorder stopped;
    stopped.delayMs = 50;
    feed.SetCallback(&stopped, &Recorder::Callback);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(stopped.WaitForSamples(1));
    const auto start = Clock::now();
    ASSERT_TRUE(StopAndWait());
    EXPECT_LT(Clock::now() - start, milliseconds(500));
    EXPECT_LT(stopped.Lengths().size(), 7u);
}

TEST_F(FileFeedTest, BitrateAboveOneBufferPerTickSplitsTheTick) {
    // 2,500,000 bytes are due every tick, more than the 2,310,144 of one buffer.
    Prepare(dir.Write("fast.ts", Pattern(16 * size_t{Block})), false, true, 200'000'000);
    const auto start = Clock::now();
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForSamples(8));
    const auto elapsed = Clock::now() - start;
    const auto lengths = recorder.Lengths();
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(lengths[i], i % 2 ? 189'856 : long{Block}) << i;
    // Four ticks: the first at once, then every 100 ms.
    EXPECT_GE(elapsed, milliseconds(250));
    EXPECT_LT(elapsed, milliseconds(600));
}

TEST_F(FileFeedTest, BitrateBelowOneBytePerTickEndsTheFileEvenWhenLooping) {
    Prepare(dir.Write("slow.ts", Pattern(30'000, 8)), true, true, 79);
    ASSERT_TRUE(PlayToEnd());
    EXPECT_TRUE(feed.FileEndReached());
    EXPECT_EQ(recorder.Total(), 0u);
}

// The schedule is reset when the fill thread starts, not when a listener comes back:
// the ticks missed meanwhile are caught up at once.
TEST_F(FileFeedTest, PacedPlaybackCatchesUpTheTicksMissedWithoutCallback) {
    Prepare(dir.Write("paced.ts", Pattern(100'000, 4)), true, true);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForSamples(2));
    feed.SetCallback(nullptr, nullptr);
    std::this_thread::sleep_for(milliseconds(600));
    const size_t before = recorder.Lengths().size();
    const auto resumed = Clock::now();
    feed.SetCallback(&recorder, &Recorder::Callback);
    ASSERT_TRUE(recorder.WaitForSamples(before + 4));
    EXPECT_LT(Clock::now() - resumed, milliseconds(250));
}

TEST_F(FileFeedTest, WithoutCallbackTheFileIsNotRead) {
    const Bytes file = Pattern(3 * size_t{Block} + 5, 9);
    Prepare(dir.Write("nocb.ts", file), false);
    feed.SetCallback(nullptr, nullptr);
    ASSERT_TRUE(feed.Start(0));
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_TRUE(feed.DeliveryRunning());
    EXPECT_EQ(feed.GetLastDataTime(), 0u);
    // Once somebody listens, playback begins at the file's first byte.
    feed.SetCallback(&recorder, &Recorder::Callback);
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_TRUE(recorder.Joined() == file);
}

}  // namespace
