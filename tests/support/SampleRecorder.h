#pragma once
// Records what a feed's data callback receives, on the delivery thread: the bytes of
// each sample (up to a limit), their lengths and totals. A closed gate holds
// deliveries in the callback; a hook runs on the delivery thread for each sample.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/graph/Interfaces.h"

class SampleRecorder {
public:
    using Bytes = std::vector<uint8_t>;

    static void Callback(void* context, IMediaSample* sample) {
        static_cast<SampleRecorder*>(context)->OnSample(sample);
    }
    static Bytes Join(const std::vector<Bytes>& pieces) {
        Bytes all;
        for (const Bytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
        return all;
    }

    std::function<void()> onSample;  // set before deliveries start, or while the gate is closed
    std::atomic<int> delayMs{0};
    size_t keep = SIZE_MAX;  // bytes kept at most; every byte is counted

    void SetGate(bool open) {
        std::lock_guard lock(m_);
        gateOpen_ = open;
        cv_.notify_all();
    }
    bool WaitAtGate(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        return Wait(limit, [&] { return atGate_ > 0; });
    }
    bool WaitForSamples(size_t n, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        return Wait(limit, [&] { return lengths_.size() >= n; });
    }
    bool WaitForBytes(size_t n, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        return Wait(limit, [&] { return total_ >= n; });
    }
    std::vector<Bytes> Samples() {
        std::lock_guard lock(m_);
        return samples_;
    }
    Bytes Joined() { return Join(Samples()); }
    std::vector<long> Lengths() {
        std::lock_guard lock(m_);
        return lengths_;
    }
    size_t Total() {
        std::lock_guard lock(m_);
        return total_;
    }

private:
    template <class Condition>
    bool Wait(std::chrono::milliseconds limit, Condition condition) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, limit, condition);
    }

    void OnSample(IMediaSample* sample) {
        {
            std::unique_lock lock(m_);
            ++atGate_;
            cv_.notify_all();
            cv_.wait(lock, [&] { return gateOpen_; });
            --atGate_;
        }
        if (onSample) onSample();
        if (const int ms = delayMs.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        BYTE* p = nullptr;
        sample->GetPointer(&p);
        const long n = sample->GetActualDataLength();
        {
            std::lock_guard lock(m_);
            const size_t kept = std::min<size_t>(static_cast<size_t>(n), keep - std::min(keep, keptBytes_));
            samples_.emplace_back(p, p + kept);
            keptBytes_ += kept;
            lengths_.push_back(n);
            total_ += static_cast<size_t>(n);
            cv_.notify_all();
        }
        sample->Release();
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Bytes> samples_;
    std::vector<long> lengths_;
    size_t keptBytes_ = 0;
    size_t total_ = 0;
    int atGate_ = 0;
    bool gateOpen_ = true;
};
