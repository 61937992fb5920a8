#pragma once
// A plug-in library for the filter tests: feeds that count what is asked of them and
// deliver only when the test tells them to.
#include <atomic>
#include <cstdint>

struct CountingFeedState {
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> tunes{0};
    std::atomic<int> diseqc{0};
    std::atomic<bool> alive{false};
    std::atomic<bool> running{false};
    std::atomic<uint8_t> status{0};
    std::atomic<uint16_t> signal{0};
    std::atomic<bool> tuneResult{true};
};

// A and B are satellite devices; the third reports the file type, as a plug-in may,
// with an extension pointer of its own.
constexpr int kCountingDevices = 3;
constexpr uint32_t kCountingSampleLimit = 188 * 100;  // the largest sample `deliver` makes

struct CountingPluginControl {
    // One slot per device index; each enumeration creates fresh objects and resets them.
    CountingFeedState* (*state)(int device, int generation);
    // Objects alive across all enumerations.
    int (*liveObjects)();
    // Delivers `samples` samples of `bytes` bytes (packets of 0x47 sync) from the
    // newest object of this device, on the calling thread; false when it is gone.
    bool (*deliver)(int device, int samples, uint32_t bytes);
    // Enumerations seen so far (each probe of index 0 starts one).
    int (*generations)();
};

using CountingPluginControlFunction = CountingPluginControl* (*)();
constexpr const char* kCountingControlExport = "GetCountingPluginControl";
