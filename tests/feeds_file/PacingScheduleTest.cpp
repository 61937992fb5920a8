#include "feeds/file/PacingSchedule.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr uint32_t Wrap = 0xFFFFFFFFu;  // last tick count before the wrap

TEST(PacingSchedule, FirstBlockAtOnceThenOneTickApartCatchingUpWithoutSleeping) {
    CPacingSchedule s;
    EXPECT_EQ(s.Step(5000), 0u);
    EXPECT_EQ(s.Deadline(), 5100u);
    EXPECT_EQ(s.Step(5001), 99u);
    // Ten milliseconds or less are not slept.
    EXPECT_EQ(s.Step(5190), 0u);
    EXPECT_EQ(s.Step(5289), 11u);
    // A deadline 2 s or more away is stepped, not slept.
    EXPECT_EQ(s.Step(5400 - 2'000), 0u);
    EXPECT_EQ(s.Step(5500 - 1'999), 1'999u);

    s.Reset();
    EXPECT_EQ(s.Step(1000), 0u);  // deadline 1100
    int immediate = 0;
    while (s.Step(1650) == 0) ++immediate;  // half a second late
    // 1100, 1200 ... 1600 have passed; 1700 is the first slot worth a sleep.
    EXPECT_EQ(immediate, 6);
    EXPECT_EQ(s.Deadline(), 1800u);
}

// Walks simulated time across the wrap from many phases: every block but the first
// must be preceded by a full tick's sleep, never a burst.
TEST(PacingSchedule, WrapOfTheTickCountKeepsTheRate) {
    for (uint32_t phase = 0; phase < 250; ++phase) {
        CPacingSchedule s;
        uint32_t now = Wrap - 1000 - phase;
        ASSERT_EQ(s.Step(now), 0u);
        for (int block = 1; block < 25; ++block) {
            const uint32_t sleep = s.Step(now);
            ASSERT_GE(sleep, 99u) << "phase " << phase << " block " << block;
            ASSERT_LE(sleep, 101u) << "phase " << phase << " block " << block;
            now += sleep;
        }
    }
    // Wrap - 99 + 100 is 0, which would read as "no schedule" and let a block out early.
    CPacingSchedule s;
    s.Step(Wrap - 199);
    EXPECT_EQ(s.Step(Wrap - 150), 51u);
    EXPECT_EQ(s.Deadline(), 1u);
    EXPECT_EQ(s.Step(Wrap - 98), 100u);
}

TEST(PacingSchedule, SharedByThreadsEverySlotTakenOnce) {
    CPacingSchedule s;
    s.Step(1000);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) s.Step(1000);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(s.Deadline(), 1100u + 4000u * 100u);
}

}  // namespace
