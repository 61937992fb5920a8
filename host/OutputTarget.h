#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// Where "TS Out" goes: a file or standard output.
class OutputTarget {
public:
    OutputTarget() = default;
    ~OutputTarget();
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    // "-" is standard output; an empty path discards the data.
    bool Open(const std::string& path);
    // Writes everything or records the failure; called from one thread at a time.
    bool Write(const uint8_t* data, size_t length);
    bool Close();

    uint64_t BytesWritten() const { return written_.load(std::memory_order_acquire); }
    const std::string& Error() const { return error_; }
    bool Failed() const { return failed_.load(); }

private:
    int fd_ = -1;
    bool ownsFd_ = false;
    bool discard_ = false;
    std::string path_;
    std::string error_;
    std::atomic<bool> failed_{false};
    std::atomic<uint64_t> written_{0};
};
