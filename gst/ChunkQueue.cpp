#include "gst/ChunkQueue.h"

bool ChunkQueue::Push(std::vector<uint8_t> chunk) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return flushing_ || chunks_.size() < capacity_; });
    if (flushing_ || ended_) return false;
    chunks_.push_back(std::move(chunk));
    changed_.notify_all();
    return true;
}

ChunkQueue::Result ChunkQueue::Pop(std::vector<uint8_t>* chunk) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return flushing_ || ended_ || !chunks_.empty(); });
    if (flushing_) return Result::Flushing;
    if (chunks_.empty()) return error_.empty() ? Result::End : Result::Failed;
    *chunk = std::move(chunks_.front());
    chunks_.pop_front();
    changed_.notify_all();
    return Result::Data;
}

void ChunkQueue::Finish() {
    std::lock_guard lock(lock_);
    ended_ = true;
    changed_.notify_all();
}

void ChunkQueue::Fail(const std::string& text) {
    std::lock_guard lock(lock_);
    if (ended_) return;
    ended_ = true;
    error_ = text;
    changed_.notify_all();
}

void ChunkQueue::SetFlushing(bool flushing) {
    std::lock_guard lock(lock_);
    flushing_ = flushing;
    changed_.notify_all();
}

void ChunkQueue::Reset() {
    std::lock_guard lock(lock_);
    chunks_.clear();
    ended_ = false;
    error_.clear();
    changed_.notify_all();
}

std::string ChunkQueue::Error() const {
    std::lock_guard lock(lock_);
    return error_;
}
