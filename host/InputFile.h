#pragma once
// The input of push and passthrough: a file or standard input, read so that a signal or
// RequestStop() ends a read that waits for data (an idle pipe) at once.
#include <cstddef>
#include <cstdint>
#include <string>

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // "-" is standard input, which is never closed.
    bool Open(const std::string& path, std::string* error);

    enum class Status { kData, kEnd, kStopped, kError };
    // Fills as much of the buffer as it can; kData while more may follow. *got holds
    // what was read, with any status.
    Status Fill(uint8_t* data, size_t size, size_t* got);
    // From any thread; the reading thread's Fill returns kStopped.
    void RequestStop();

    // For messages: the file name, or "standard input".
    const std::string& Name() const { return name_; }
    const std::string& Error() const { return error_; }

private:
    int fd_ = -1;
    int stopFd_ = -1;
    std::string name_;
    std::string error_;
};
