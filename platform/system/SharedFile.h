#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A file opened for reading only, that other writers and readers keep using meanwhile.
// Failures leave errno set and also keep it in LastError().
class SharedFile {
public:
    SharedFile() = default;
    ~SharedFile();
    SharedFile(SharedFile&& other) noexcept;
    SharedFile& operator=(SharedFile&& other) noexcept;
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    enum class Access { Random, Sequential };
    // Closes what was open first. Sequential tells the system the file is read from
    // start to end, so it reads ahead further.
    bool Open(const std::string& path, Access access = Access::Random);
    // Fills the buffer unless the end comes first: bytes read, 0 at the end, -1 on error.
    long Read(void* buffer, size_t size);
    bool Seek(int64_t offset);  // from the start
    int64_t Tell() const;       // -1 on error
    int64_t Size() const;       // -1 on error
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int LastError() const { return error_; }

private:
    int fd_ = -1;
    mutable int error_ = 0;
};
