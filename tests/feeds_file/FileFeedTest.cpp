#include "feeds/file/FileFeed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <thread>

#include "feeds/file/SystemErrorText.h"
#include "tests/feeds_file/FileFeedTestSupport.h"
#include "tools/tsgen/TsGenerator.h"

using namespace filefeedtest;

namespace {

constexpr uint32_t Block = CFileFeed::kBufferSize;
// 10,000 bytes per 100 ms tick.
constexpr uint32_t ModestBitrate = 800'000;

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class FileFeedTest : public ::testing::Test {
protected:
    // Unpaced unless a test asks otherwise; the recorder is the callback.
    void Prepare(const std::string& path, bool loop, bool paced = false, uint32_t bitrate = ModestBitrate,
                 Recorder* to = nullptr) {
        feed.SetFileName(path.c_str());
        feed.SetLoop(loop);
        feed.SetBitrateLock(paced);
        feed.SetBitrate(bitrate);
        feed.SetCallback(to ? to : &recorder, &Recorder::Callback);
    }
    void TearDown() override {
        feed.Stop();
        ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    }

    TempDir dir;
    Recorder recorder;
    CFileFeed feed;
};

TEST(FileFeedName, LoopMarkerIsCutOffAndTurnsLoopingOn) {
    CFileFeed feed;
    feed.SetFileName("/media/b.ts:LOOP:trailing:LOOP:");
    EXPECT_STREQ(feed.FileName(), "/media/b.ts");
    EXPECT_TRUE(feed.Loop());
    // Without the marker the flag stays as it was, on or off.
    feed.SetFileName("/media/c.ts");
    EXPECT_TRUE(feed.Loop());
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
    Prepare(dir.Path("missing.ts"), false);
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(feed.GetErrorText(), "No such file or directory");
    EXPECT_FALSE(feed.DeliveryRunning());
    feed.SetFileName(dir.Path("").c_str());
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(feed.GetErrorText(), "Is a directory");
    EXPECT_STREQ(SystemErrorText(0xFFFFFFFFu), "Unknown error code");

    // A FIFO without a writer must not block the start.
    const std::string fifo = dir.Path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    feed.SetFileName(fifo.c_str());
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(feed.GetErrorText(), "Not a regular file");

    // A good start clears the previous text.
    Prepare(dir.Write("ok.ts", Pattern(1000)), false);
    EXPECT_TRUE(feed.Start(0));
    EXPECT_EQ(feed.GetErrorText(), nullptr);
}

TEST_F(FileFeedTest, FilesTooShortToSniffKeepThePacketSizeAndPlayWholeWithOrWithoutLoop) {
    TsGeneratorOptions options;
    options.packetSize = 192;
    TsGenerator generator(options);
    Bytes ts(100 * 192);
    generator.Generate(ts.data(), 100);
    Prepare(dir.Write("m2ts.ts", ts), false);
    ASSERT_TRUE(feed.Start(0));
    EXPECT_EQ(feed.GetPacketSize(), 192);
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(recorder.Joined(), ts);

    // 204 bytes are too few to judge (sniffed, they would say 204): the size found before stays.
    const Bytes tiny(204, 0x47);
    Recorder once;
    Prepare(dir.Write("tiny.ts", tiny), false, false, ModestBitrate, &once);
    ASSERT_TRUE(feed.Start(0));
    EXPECT_EQ(feed.GetPacketSize(), 192);
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(once.Joined(), tiny);

    // Looping repeats whole passes of it.
    Recorder looped;
    looped.keep = 2040;
    feed.SetLoop(true);
    feed.SetCallback(&looped, &Recorder::Callback);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(looped.WaitForBytes(2040));
    feed.Stop();
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(looped.Joined(), Repeated(tiny, 10));
    for (long n : looped.Lengths()) ASSERT_EQ(n, 204);

    // An empty file ends even when looping.
    Recorder empty;
    Prepare(dir.Write("empty.ts", {}), true, false, ModestBitrate, &empty);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(empty.Total(), 0u);
}

TEST_F(FileFeedTest, LoopingConcatenatesPassesWithoutGap) {
    // One pass is two full blocks and a partial one.
    const Bytes file = Pattern(2 * size_t{Block} + 777, 3);
    const size_t want = 3 * file.size();
    recorder.keep = want;
    Prepare(dir.Write("loop.ts", file), true);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForBytes(want, std::chrono::seconds(20)));
    feed.Stop();
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
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
    feed.Stop();
    const auto start = Clock::now();
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
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
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(feed.WaitForDeliveryEnd(2000));
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
    feed.SetFileName(dir.Write("nocb.ts", file).c_str());
    feed.SetBitrateLock(false);
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
