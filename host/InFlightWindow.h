#pragma once
#include <atomic>
#include <cstdint>

#include "platform/system/Semaphore.h"

// Bounds the samples the host has handed to the filter and not yet seen leave it, so
// that the filter's queue, which drops when full, never overflows.
class InFlightWindow {
public:
    // Well below the queue's 100 entries.
    static constexpr long kSamples = 32;

    // Waits for room; false when stop() turned true first.
    template <class StopFn>
    bool Acquire(StopFn stop) {
        while (!slots_.Wait(50)) {
            if (stop()) return false;
        }
        return true;
    }
    // The filter's host data callback: one sample left the filter.
    static void OnSampleOut(void* context, const uint8_t*, int32_t) {
        static_cast<InFlightWindow*>(context)->slots_.Release(1);
    }

private:
    Semaphore slots_{kSamples, kSamples};
};
