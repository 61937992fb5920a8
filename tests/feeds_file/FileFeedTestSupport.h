#pragma once
// Temp files and a recording data callback for the file feed tests.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/graph/Interfaces.h"

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

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "filefeed-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string Write(const std::string& name, const Bytes& data) const {
        std::ofstream(path_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return Path(name);
    }
    std::string Path(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Records what the feed delivers. Keeps at most `keep` bytes; counts everything.
class Recorder {
public:
    static void Callback(void* context, IMediaSample* sample) { static_cast<Recorder*>(context)->OnSample(sample); }

    std::atomic<int> delayMs{0};
    size_t keep = SIZE_MAX;
    // Runs on the delivery thread as each sample passes the gate; set before opening it.
    std::function<void()> onSample;

    // While closed, deliveries wait in the callback.
    void SetGate(bool open) {
        {
            std::lock_guard lock(m_);
            gateOpen_ = open;
        }
        cv_.notify_all();
    }
    bool WaitForBytes(size_t n, int timeoutMs = 5000) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return total_ >= n; });
    }
    bool WaitForSamples(size_t n, int timeoutMs = 5000) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return lengths_.size() >= n; });
    }
    size_t Total() {
        std::lock_guard lock(m_);
        return total_;
    }
    Bytes Data() {
        std::lock_guard lock(m_);
        return data_;
    }
    std::vector<long> Lengths() {
        std::lock_guard lock(m_);
        return lengths_;
    }
private:
    void OnSample(IMediaSample* sample) {
        {
            std::unique_lock lock(m_);
            cv_.wait(lock, [&] { return gateOpen_; });
        }
        if (onSample) onSample();
        if (int d = delayMs.load()) std::this_thread::sleep_for(std::chrono::milliseconds(d));
        BYTE* p = nullptr;
        sample->GetPointer(&p);
        const long n = sample->GetActualDataLength();
        {
            std::lock_guard lock(m_);
            if (data_.size() < keep) data_.insert(data_.end(), p, p + std::min<size_t>(n, keep - data_.size()));
            lengths_.push_back(n);
            total_ += static_cast<size_t>(n);
        }
        cv_.notify_all();
        sample->Release();
    }

    std::mutex m_;
    std::condition_variable cv_;
    Bytes data_;
    std::vector<long> lengths_;
    size_t total_ = 0;
    bool gateOpen_ = true;
};

}  // namespace filefeedtest
