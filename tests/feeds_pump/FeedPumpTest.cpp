#include "feeds/FeedPump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/com/Unknown.h"
#include "tests/support/SampleRecorder.h"
#include "tests/support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;

struct PumpRig {
    explicit PumpRig(uint32_t buffers, uint32_t idleWakeMs = 0, uint32_t coalesceMs = 0)
        : pump({"CFeedPumpTest::Thread", buffers, 4096, "PumpFill", "PumpDeliver", idleWakeMs, coalesceMs},
               {[this](IMediaSample* s) { SampleRecorder::Callback(&receiver, s); }, [this] { ++idleWakes; },
                [this] { ++ended; }}) {}

    // The number each delivered sample carries.
    std::vector<uint32_t> Numbers() {
        std::vector<uint32_t> numbers;
        for (const auto& sample : receiver.Samples()) {
            uint32_t n = UINT32_MAX;
            if (sample.size() == sizeof n) std::memcpy(&n, sample.data(), sizeof n);
            numbers.push_back(n);
        }
        return numbers;
    }

    // Numbers `count` samples (or until a stop when count is 0) and pushes them, each
    // once `ready(n)` lets it go.
    std::function<void()> Numbering(uint32_t count, std::function<bool(uint32_t)> ready = {}) {
        return [this, count, ready] {
            for (uint32_t n = 0; count == 0 || n < count; ++n) {
                while (ready && !ready(n) && !pump.StopRequested()) std::this_thread::yield();
                IMediaSample* sample = pump.GetBuffer();
                if (!sample) return;
                BYTE* p = nullptr;
                sample->GetPointer(&p);
                std::memcpy(p, &n, sizeof n);
                sample->SetActualDataLength(sizeof n);
                pump.Push(sample);
                pushed = n + 1;
            }
        };
    }

    SampleRecorder receiver;  // outlives the pump's threads
    std::atomic<int> idleWakes{0};
    std::atomic<int> ended{0};
    std::atomic<uint32_t> pushed{0};
    CFeedPump pump;
};

std::vector<uint32_t> Sequence(uint32_t n) {
    std::vector<uint32_t> v(n);
    for (uint32_t i = 0; i < n; ++i) v[i] = i;
    return v;
}

// Buffers (the ring has one slot more) and the delivery thread's coalescing period.
class FeedPumpSizes : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(FeedPumpSizes, EndOfDataDeliversEverythingInOrderAcrossManyWraps) {
    const long before = CBaseObject::ObjectsActive();
    const auto [buffers, coalesceMs] = GetParam();
    const uint32_t count = 20 * (buffers + 1) + 3;
    {
        PumpRig rig(buffers, 0, coalesceMs);
        ASSERT_EQ(CFeedPump::StartResult::Started, rig.pump.Start(rig.Numbering(count)));
        ASSERT_TRUE(rig.pump.Join(5000));
        EXPECT_FALSE(rig.pump.Running());
        EXPECT_EQ(Sequence(count), rig.Numbers());
        EXPECT_EQ(1, rig.ended.load());
    }
    EXPECT_EQ(before, CBaseObject::ObjectsActive());
}

// Every buffer out: one held in the callback, the rest queued, the fill thread waiting
// for a buffer. A stop ends both threads; nothing queued is delivered or kept alive.
TEST_P(FeedPumpSizes, StopWithEveryBufferOutReleasesWhatIsQueued) {
    const long before = CBaseObject::ObjectsActive();
    const auto [buffers, coalesceMs] = GetParam();
    {
        PumpRig rig(buffers, 0, coalesceMs);
        rig.receiver.SetGate(false);
        ASSERT_EQ(CFeedPump::StartResult::Started, rig.pump.Start(rig.Numbering(0)));
        ASSERT_TRUE(rig.receiver.WaitAtGate());
        ASSERT_TRUE(WaitUntil([&] { return rig.pushed.load() == buffers; }));
        EXPECT_FALSE(rig.pump.Join(50));  // still running
        rig.pump.RequestStop();
        rig.receiver.SetGate(true);
        ASSERT_TRUE(rig.pump.Join(5000));
        EXPECT_EQ(std::vector<uint32_t>{0}, rig.Numbers());
        EXPECT_EQ(buffers, rig.pushed.load());
    }
    EXPECT_EQ(before, CBaseObject::ObjectsActive());
}

INSTANTIATE_TEST_SUITE_P(SlotsOf16And128, FeedPumpSizes,
                         ::testing::Values(std::pair{15u, 0u}, std::pair{127u, 0u}, std::pair{15u, 2u}));

// A fill thread that pushes one sample now and then: each one arrives without waiting
// for more to come, whether the delivery thread sleeps or is in its coalescing wait.
TEST(FeedPump, SparseSamplesArriveWithinTheCoalescingPeriod) {
    PumpRig rig(15, 0, 2);
    std::atomic<uint32_t> release{0};
    ASSERT_EQ(CFeedPump::StartResult::Started,
              rig.pump.Start(rig.Numbering(6, [&](uint32_t n) { return release.load() > n; })));
    for (uint32_t n = 0; n < 5; ++n) {
        if (n % 2) std::this_thread::sleep_for(5ms);  // past the coalescing wait: asleep
        const auto pushed = std::chrono::steady_clock::now();
        release = n + 1;
        ASSERT_TRUE(rig.receiver.WaitForSamples(n + 1));
        EXPECT_LT(std::chrono::steady_clock::now() - pushed, 500ms) << n;
    }
    rig.pump.RequestStop();  // the sixth is never let go
    ASSERT_TRUE(rig.pump.Join(5000));
    EXPECT_EQ(Sequence(5), rig.Numbers());
}

TEST(FeedPump, StopFromTheCallbackWhileAnotherThreadWaitsForTheThreads) {
    PumpRig rig(15);
    rig.receiver.SetGate(false);
    ASSERT_EQ(CFeedPump::StartResult::Started, rig.pump.Start(rig.Numbering(0)));
    ASSERT_TRUE(rig.receiver.WaitAtGate());
    std::atomic<bool> stopReturned{false};
    rig.receiver.onSample = [&] {
        rig.pump.RequestStop();
        stopReturned = true;
    };
    std::atomic<bool> joined{false};
    std::thread waiter([&] { joined = rig.pump.Join(5000); });
    std::this_thread::sleep_for(10ms);  // lets the waiter reach the join; passes either way
    rig.receiver.SetGate(true);
    waiter.join();
    EXPECT_TRUE(stopReturned);
    EXPECT_TRUE(joined);

    // A restart runs a fresh pair with a fresh ring.
    rig.receiver.onSample = nullptr;
    ASSERT_EQ(CFeedPump::StartResult::Started, rig.pump.Start(rig.Numbering(40)));
    ASSERT_TRUE(rig.pump.Join(5000));
    const auto numbers = rig.Numbers();
    ASSERT_EQ(41u, numbers.size());
    EXPECT_EQ(Sequence(40), std::vector<uint32_t>(numbers.begin() + 1, numbers.end()));
}

TEST(FeedPump, StartsStopsAndJoinsFromSeveralThreadsEndCleanly) {
    const long before = CBaseObject::ObjectsActive();
    {
        PumpRig rig(15);
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 30; ++i) {
                    if ((i + t) % 3 == 0) rig.pump.Start(rig.Numbering(0));
                    rig.pump.RequestStop();
                    if ((i + t) % 3 == 2) rig.pump.Join();
                }
            });
        }
        for (auto& th : threads) th.join();
        ASSERT_TRUE(rig.pump.Join(5000));
        ASSERT_EQ(CFeedPump::StartResult::Started, rig.pump.Start(rig.Numbering(100)));
        ASSERT_TRUE(rig.pump.Join(5000));
        const auto numbers = rig.Numbers();
        ASSERT_GE(numbers.size(), 100u);
        EXPECT_EQ(Sequence(100), std::vector<uint32_t>(numbers.end() - 100, numbers.end()));
    }
    EXPECT_EQ(before, CBaseObject::ObjectsActive());
}

TEST(FeedPump, IdleWakesWhileNothingComesAndStopWakesAWaitingFill) {
    PumpRig rig(15, 10);
    std::atomic<bool> stopSeen{false};
    ASSERT_EQ(CFeedPump::StartResult::Started, rig.pump.Start([&] { stopSeen = rig.pump.WaitForStop(60'000); }));
    EXPECT_TRUE(WaitUntil([&] { return rig.idleWakes.load() >= 3; }));
    const auto start = std::chrono::steady_clock::now();
    rig.pump.RequestStop();
    ASSERT_TRUE(rig.pump.Join(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(stopSeen);
    EXPECT_TRUE(rig.Numbers().empty());
}

}  // namespace
