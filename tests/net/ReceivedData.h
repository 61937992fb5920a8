#pragma once
// Collects what a receiver hands to its callbacks, from whichever thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

class ReceivedData {
public:
    using Bytes = std::vector<uint8_t>;

    static void OnData(void* context, const uint8_t* data, int length) {
        auto* self = static_cast<ReceivedData*>(context);
        std::lock_guard lock(self->mutex_);
        if (data == nullptr && length == 0) {
            ++self->endOfStream_;
        } else {
            if (self->endOfStream_ > 0) self->afterEnd_ = true;
            self->datagrams_.emplace_back(data, data + length);
        }
        self->changed_.notify_all();
    }

    static void OnLoss(void* context, int received, int expected) {
        auto* self = static_cast<ReceivedData*>(context);
        std::lock_guard lock(self->mutex_);
        self->losses_.emplace_back(received, expected);
    }

    bool WaitForDatagrams(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return datagrams_.size() >= count; });
    }

    bool WaitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return endOfStream_ > 0; });
    }

    std::vector<Bytes> Datagrams() {
        std::lock_guard lock(mutex_);
        return datagrams_;
    }
    std::vector<std::pair<int, int>> Losses() {
        std::lock_guard lock(mutex_);
        return losses_;
    }
    int EndOfStreamCount() {
        std::lock_guard lock(mutex_);
        return endOfStream_;
    }
    bool DataAfterEnd() {
        std::lock_guard lock(mutex_);
        return afterEnd_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Bytes> datagrams_;
    std::vector<std::pair<int, int>> losses_;
    int endOfStream_ = 0;
    bool afterEnd_ = false;
};
