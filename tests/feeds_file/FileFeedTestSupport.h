#pragma once
// Patterns and a feed fixture for the file feed tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "feeds/file/FileFeed.h"
#include "tests/support/SampleRecorder.h"
#include "tests/support/TempDir.h"

namespace filefeedtest {

using Bytes = std::vector<uint8_t>;

// Repeatable bytes that differ from one offset to the next, so misplaced data shows.
inline Bytes Pattern(size_t size, uint32_t seed = 1) {
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return out;
}

// `times` copies of the file back to back.
inline Bytes Repeated(const Bytes& file, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), file.begin(), file.end());
    return out;
}

using ::TempDir;

using Recorder = SampleRecorder;

constexpr uint32_t Block = CFileFeed::kBufferSize;

class FileFeedTest : public ::testing::Test {
protected:
    // Unpaced unless a test asks otherwise; 800,000 bit/s is 10,000 bytes per 100 ms tick.
    void Prepare(const std::string& path, bool loop, bool paced = false, uint32_t bitrate = 800'000,
                 Recorder* to = nullptr) {
        feed.SetFileName(path.c_str());
        feed.SetLoop(loop);
        feed.SetBitrateLock(paced);
        feed.SetBitrate(bitrate);
        feed.SetCallback(to ? to : &recorder, &Recorder::Callback);
    }
    bool PlayToEnd() { return feed.Start(0) && feed.WaitForDeliveryEnd(5000); }
    bool StopAndWait() {
        feed.Stop();
        return feed.WaitForDeliveryEnd(5000);
    }
    void TearDown() override { ASSERT_TRUE(StopAndWait()); }
    size_t CountOf(uint8_t value) {
        const Bytes data = recorder.Joined();
        return static_cast<size_t>(std::count(data.begin(), data.end(), value));
    }

    TempDir dir;
    Recorder recorder;
    CFileFeed feed;
};

}  // namespace filefeedtest
