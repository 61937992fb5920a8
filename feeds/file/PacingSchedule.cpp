#include "feeds/file/PacingSchedule.h"

namespace {
// 0 marks an unset deadline, so a deadline that lands there after the tick count
// has wrapped is kept one millisecond later; otherwise the block would count as the
// first of a new schedule and go out early.
uint32_t Settable(uint32_t deadline) { return deadline ? deadline : 1; }
}  // namespace

uint32_t CPacingSchedule::Step(uint32_t now) {
    uint32_t deadline = deadline_.load(std::memory_order_relaxed);
    for (;;) {
        const bool first = deadline == 0;
        const uint32_t next = Settable(first ? now + kTickMs : deadline + kTickMs);
        if (!deadline_.compare_exchange_weak(deadline, next, std::memory_order_relaxed)) continue;
        if (first) return 0;
        // Unsigned on purpose: a deadline that has fallen behind looks far away.
        const uint32_t remaining = deadline - now;
        return remaining < kCatchUpDistanceMs && remaining > kShortestSleepMs ? remaining : 0;
    }
}
