#pragma once
// The 100 ms schedule that paced file playback follows. The file feeds of a process
// share one schedule: every paced block takes the next slot, whoever reads it.
#include <atomic>
#include <cstdint>

class CPacingSchedule {
public:
    static constexpr uint32_t kTickMs = 100;
    // A deadline further away than this, either way, is stepped without sleeping, so a
    // producer that has fallen behind catches up in consecutive blocks.
    static constexpr uint32_t kCatchUpDistanceMs = 2'000;
    // Shorter waits are not worth a sleep.
    static constexpr uint32_t kShortestSleepMs = 10;

    // The next block is due at once.
    void Reset() { deadline_.store(0, std::memory_order_relaxed); }
    // Takes the next slot at tick count `now` and returns how many milliseconds to
    // sleep before its block is due.
    uint32_t Step(uint32_t now);
    // 0 while no block has been scheduled since the last reset.
    uint32_t Deadline() const { return deadline_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint32_t> deadline_{0};
};
