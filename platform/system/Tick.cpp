#include "platform/system/Tick.h"
#include <atomic>
#include <chrono>
#include <thread>
#include <time.h>

namespace {
std::atomic<DWORD> g_tickOffset{0};
}

ULONGLONG GetTickCount64() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ULONGLONG(ts.tv_sec) * 1000u + ULONGLONG(ts.tv_nsec) / 1000000u + g_tickOffset.load(std::memory_order_relaxed);
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

void Sleep(DWORD ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    if (ms == INFINITE) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SetTickCountOffsetForTesting(DWORD offset) { g_tickOffset.store(offset, std::memory_order_relaxed); }
