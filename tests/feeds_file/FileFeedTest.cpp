#include "feeds/file/FileFeed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <thread>

#include "feeds/file/SystemErrorText.h"
#include "platform/system/Tick.h"
#include "tests/feeds_file/FileFeedTestSupport.h"
#include "tools/tsgen/TsGenerator.h"

using namespace filefeedtest;

namespace {

constexpr uint32_t Block = CFileFeed::kBufferSize;
// 10,000 bytes per 100 ms tick.
constexpr uint32_t ModestBitrate = 800'000;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class FileFeedTest : public ::testing::Test {
protected:
    // Unpaced unless a test asks otherwise; the recorder is the callback.
    void Prepare(const std::string& path, bool loop, bool paced = false, uint32_t bitrate = ModestBitrate) {
        feed.SetFileName(path.c_str());
        feed.SetLoop(loop);
        feed.SetBitrateLock(paced);
        feed.SetBitrate(bitrate);
        feed.SetCallback(&recorder, &Recorder::Callback);
    }
    void TearDown() override {
        feed.Stop();
        ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
        recorder.ReleaseHeld();
    }

    TempDir dir;
    Recorder recorder;
    CFileFeed feed;
};

TEST(FileFeedIdentity, AnswersAsAFileFeed) {
    CFileFeed feed;
    EXPECT_EQ(feed.GetType(), kFeedFile);
    EXPECT_EQ(feed.GetCapabilities(), uint32_t{kCapFile});
    EXPECT_STREQ(feed.GetName(), "File Feed");
    EXPECT_STREQ(feed.GetDescription(), "FILE Feed");
    EXPECT_STREQ(feed.GetDetails(), "Transport Stream File");
    EXPECT_EQ(feed.GetPacketSize(), 188);
    EXPECT_EQ(feed.GetStatus(), 0xFF);
    EXPECT_EQ(feed.GetSignalLevel(), 0xFFFF);
    EXPECT_EQ(feed.GetReceptionValue(), 0u);
    TuningParameters tuning{};
    EXPECT_TRUE(feed.Tune(&tuning));
    const uint8_t satellite[] = {0x43};
    EXPECT_FALSE(feed.SupportsDeliveryDescriptor(satellite));
    EXPECT_STREQ(feed.FileName(), "C:\\");
    EXPECT_EQ(feed.Bitrate(), 38'014'704u);
    EXPECT_TRUE(feed.BitrateLock());
    EXPECT_FALSE(feed.Loop());
    EXPECT_EQ(feed.GetErrorText(), nullptr);
}

TEST(FileFeedName, LoopMarkerIsCutOffAndTurnsLoopingOn) {
    CFileFeed feed;
    feed.SetFileName("/media/a.ts:LOOP:");
    EXPECT_STREQ(feed.FileName(), "/media/a.ts");
    EXPECT_TRUE(feed.Loop());

    feed.SetFileName("/media/b.ts:LOOP:trailing:LOOP:");
    EXPECT_STREQ(feed.FileName(), "/media/b.ts");

    // Without the marker the flag stays as it was, on or off.
    feed.SetFileName("/media/c.ts");
    EXPECT_STREQ(feed.FileName(), "/media/c.ts");
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

TEST(FileFeedErrors, SystemTextsAndUnknownCodes) {
    EXPECT_STREQ(SystemErrorText(ENOENT), "No such file or directory");
    EXPECT_STREQ(SystemErrorText(EACCES), "Permission denied");
    EXPECT_STREQ(SystemErrorText(9999), "Unknown error code");
    EXPECT_STREQ(SystemErrorText(0xFFFFFFFFu), "Unknown error code");
}

TEST_F(FileFeedTest, OpenFailuresReportTheReasonAndLeaveNothingRunning) {
    Prepare(dir.Path("missing.ts"), false);
    EXPECT_FALSE(feed.Start(0));
    ASSERT_NE(feed.GetErrorText(), nullptr);
    EXPECT_STREQ(feed.GetErrorText(), "No such file or directory");
    EXPECT_FALSE(feed.DeliveryRunning());

    feed.SetFileName(dir.Path("").c_str());
    EXPECT_FALSE(feed.Start(0));
    EXPECT_STREQ(feed.GetErrorText(), "Is a directory");

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

TEST_F(FileFeedTest, PacketSizeIsDetectedAndKeptForShortFiles) {
    TsGeneratorOptions options;
    options.packetSize = 192;
    TsGenerator generator(options);
    Bytes ts(100 * 192);
    generator.Generate(ts.data(), 100);
    Prepare(dir.Write("m2ts.ts", ts), false);
    ASSERT_TRUE(feed.Start(0));
    EXPECT_EQ(feed.GetPacketSize(), 192);
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(recorder.Data(), ts);

    // 204 bytes are too few to judge: the size found before stays.
    feed.SetFileName(dir.Write("short.ts", Bytes(204, 0x47)).c_str());
    ASSERT_TRUE(feed.Start(0));
    EXPECT_EQ(feed.GetPacketSize(), 192);
}

TEST_F(FileFeedTest, ShortFileWithoutLoopIsDeliveredOnceThenEnds) {
    const Bytes file = Pattern(100);
    Prepare(dir.Write("tiny.ts", file), false);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(recorder.Data(), file);
    EXPECT_EQ(feed.GetPacketSize(), 188);
}

TEST_F(FileFeedTest, ShortFileWithLoopRepeatsWholePasses) {
    const Bytes file = Pattern(100, 7);
    recorder.keep = 1000;
    Prepare(dir.Write("tiny.ts", file), true);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForBytes(1000));
    feed.Stop();
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(recorder.Data(), Repeated(file, 10));
    for (long n : recorder.Lengths()) ASSERT_EQ(n, 100);
}

TEST_F(FileFeedTest, EmptyFileEndsEvenWhenLooping) {
    Prepare(dir.Write("empty.ts", {}), true);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(recorder.Total(), 0u);
}

TEST_F(FileFeedTest, LoopingConcatenatesPassesWithoutGap) {
    // One pass is two full blocks and a partial one.
    const Bytes file = Pattern(2 * size_t{Block} + 777, 3);
    const size_t want = 3 * file.size();
    recorder.keep = want;
    Prepare(dir.Write("loop.ts", file), true);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForBytes(want, 20000));
    feed.Stop();
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_TRUE(recorder.Data() == Repeated(file, 3));
    const auto lengths = recorder.Lengths();
    ASSERT_GE(lengths.size(), 9u);
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(lengths[i], i % 3 == 2 ? 777 : long{Block}) << i;
}

TEST_F(FileFeedTest, PacedLoopingKeepsTheScheduleAcrossTheWrapPoint) {
    // 15,000 bytes play as 10,000 + 5,000; the very next tick starts the next pass.
    const Bytes file = Pattern(15'000, 4);
    Prepare(dir.Write("paced-loop.ts", file), true, true);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForSamples(7));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    feed.Stop();
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    const auto lengths = recorder.Lengths();
    const std::vector<long> expected{10'000, 5'000, 10'000, 5'000, 10'000, 5'000, 10'000};
    EXPECT_EQ(std::vector<long>(lengths.begin(), lengths.begin() + 7), expected);
    // Seven ticks, the first at once: 600 ms; an idle tick at each of the three wraps
    // would make it 900.
    EXPECT_GE(elapsed, std::chrono::milliseconds(550));
    EXPECT_LT(elapsed, std::chrono::milliseconds(780));
    const Bytes data = recorder.Data();
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 55'000, Repeated(file, 4).begin()));
}

TEST_F(FileFeedTest, TailIsDeliveredAtTheEndOfAnUnpacedFile) {
    // The producer reaches the end long before the slow consumer has taken the blocks.
    const Bytes file = Pattern(6 * size_t{Block} + 12'345, 5);
    recorder.delayMs = 30;
    Prepare(dir.Write("tail.ts", file), false);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(feed.WaitForDeliveryEnd(10000));
    EXPECT_EQ(recorder.Lengths().size(), 7u);
    EXPECT_TRUE(recorder.Data() == file);
    EXPECT_NE(feed.GetLastDataTime(), 0u);
}

TEST_F(FileFeedTest, TailIsDeliveredAtTheEndOfAPacedFile) {
    const Bytes file = Pattern(25'000, 6);
    recorder.delayMs = 150;
    Prepare(dir.Write("paced-tail.ts", file), false, true);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(recorder.Lengths(), (std::vector<long>{10'000, 10'000, 5'000}));
    EXPECT_EQ(recorder.Data(), file);
}

TEST_F(FileFeedTest, StopDropsWhatIsQueuedAndEndsPromptly) {
    recorder.delayMs = 50;
    Prepare(dir.Write("big.ts", Pattern(8 * size_t{Block})), false);
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForSamples(1));
    feed.Stop();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_LT(recorder.Lengths().size(), 8u);
}

TEST_F(FileFeedTest, PacingStaysNearTheBitrate) {
    Prepare(dir.Write("rate.ts", Pattern(1'000'000)), true, true);
    ASSERT_TRUE(feed.Start(0));
    SleepMs(1000);
    const size_t bytes = recorder.Total();
    // Eleven ticks in one second, the first at once; allow a tick of slack each way
    // and some more for a loaded machine.
    EXPECT_GE(bytes, 80'000u);
    EXPECT_LE(bytes, 130'000u);
}

TEST_F(FileFeedTest, PacingSurvivesTheTickCountWrap) {
    SetTickCountOffsetForTesting(0);
    const DWORD now = GetTickCount();
    SetTickCountOffsetForTesting(static_cast<DWORD>(0xFFFFFFFFu - 300u - now));
    Prepare(dir.Write("wrap.ts", Pattern(1'000'000)), true, true);
    ASSERT_TRUE(feed.Start(0));
    SleepMs(800);
    const size_t bytes = recorder.Total();
    feed.Stop();
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    SetTickCountOffsetForTesting(0);
    // Nine ticks; neither a burst nor a stall at the wrap.
    EXPECT_GE(bytes, 60'000u);
    EXPECT_LE(bytes, 110'000u);
}

TEST_F(FileFeedTest, BitrateAboveOneBufferPerTickSplitsTheTick) {
    // 2,500,000 bytes are due every tick, more than the 2,310,144 of one buffer.
    Prepare(dir.Write("fast.ts", Pattern(16 * size_t{Block})), false, true, 200'000'000);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(feed.Start(0));
    ASSERT_TRUE(recorder.WaitForSamples(8));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto lengths = recorder.Lengths();
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(lengths[i], i % 2 ? 189'856 : long{Block}) << i;
    // Four ticks: the first at once, then every 100 ms.
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    EXPECT_LT(elapsed, std::chrono::milliseconds(600));
}

TEST_F(FileFeedTest, BitrateBelowOneBytePerTickIsNotAnEndOfFile) {
    const Bytes file = Pattern(30'000, 8);
    Prepare(dir.Write("slow.ts", file), false, true, 40);
    ASSERT_TRUE(feed.Start(0));
    SleepMs(300);
    EXPECT_TRUE(feed.DeliveryRunning());
    EXPECT_EQ(recorder.Total(), 0u);
    feed.SetBitrate(ModestBitrate);  // read afresh while playing
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_EQ(recorder.Data(), file);
}

TEST_F(FileFeedTest, WithoutCallbackTheFileIsNotRead) {
    const Bytes file = Pattern(3 * size_t{Block} + 5, 9);
    feed.SetFileName(dir.Write("nocb.ts", file).c_str());
    feed.SetBitrateLock(false);
    ASSERT_TRUE(feed.Start(0));
    SleepMs(150);
    EXPECT_TRUE(feed.DeliveryRunning());
    EXPECT_EQ(feed.GetLastDataTime(), 0u);
    // Once somebody listens, playback begins at the file's first byte.
    feed.SetCallback(&recorder, &Recorder::Callback);
    ASSERT_TRUE(feed.WaitForDeliveryEnd(5000));
    EXPECT_TRUE(recorder.Data() == file);
}

TEST_F(FileFeedTest, SamplesHeldDownstreamOutliveTheFeed) {
    recorder.hold = true;
    auto* own = new CFileFeed;
    own->SetFileName(dir.Write("held.ts", Pattern(3 * size_t{Block})).c_str());
    own->SetBitrateLock(false);
    own->SetCallback(&recorder, &Recorder::Callback);
    ASSERT_TRUE(own->Start(0));
    ASSERT_TRUE(recorder.WaitForSamples(3));
    own->Destroy();
    ASSERT_EQ(recorder.HeldCount(), 3u);
    recorder.ReleaseHeld();  // the allocator goes away only now
}

}  // namespace
