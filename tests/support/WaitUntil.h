#pragma once
// Waiting on something a test can observe, instead of sleeping for a fixed time and
// hoping it happened.
#include <chrono>
#include <thread>

// Polls until the condition holds or the limit passes; returns the last answer.
template <class Condition>
bool WaitUntil(Condition&& condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
