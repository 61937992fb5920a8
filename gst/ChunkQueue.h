#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// Hands the bytes the filter's output worker receives to the element's streaming
// thread. Bounded, so that a slow pipeline holds the filter back instead of growing
// memory; flushing releases both sides at once.
class ChunkQueue {
public:
    enum class Result { Data, End, Flushing, Failed };

    explicit ChunkQueue(size_t capacity) : capacity_(capacity) {}

    // Waits for room; false (the chunk dropped) when flushing.
    bool Push(std::vector<uint8_t> chunk);
    // Waits for a chunk. End and Failed come only after every chunk queued before them.
    Result Pop(std::vector<uint8_t>* chunk);
    // No more chunks will come. The first of Finish and Fail counts.
    void Finish();
    void Fail(const std::string& text);
    void SetFlushing(bool flushing);
    // Empties the queue and forgets an end or a failure, for the next run.
    void Reset();
    std::string Error() const;

private:
    const size_t capacity_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> chunks_;
    bool flushing_ = false;
    bool ended_ = false;
    std::string error_;
};
