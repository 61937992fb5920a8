#include "platform/system/SharedFile.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

SharedFile::~SharedFile() { Close(); }

SharedFile::SharedFile(SharedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, 0)) {}

SharedFile& SharedFile::operator=(SharedFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

bool SharedFile::Open(const std::string& path, Access access) {
    Close();
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error_ = errno = EISDIR;
        return false;
    }
    // Only a hint: a system that cannot take it reads the file all the same.
    if (access == Access::Sequential) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    fd_ = fd;
    error_ = 0;
    return true;
}

long SharedFile::Read(void* buffer, size_t size) {
    if (fd_ < 0) {
        error_ = errno = EBADF;
        return -1;
    }
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd_, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            // Bytes already taken are not lost: report them, the error shows on the next call.
            return done > 0 ? static_cast<long>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<long>(done);
}

bool SharedFile::Seek(int64_t offset) {
    if (fd_ < 0) {
        error_ = errno = EBADF;
        return false;
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        error_ = errno;
        return false;
    }
    return true;
}

int64_t SharedFile::Tell() const {
    if (fd_ < 0) {
        error_ = errno = EBADF;
        return -1;
    }
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0) error_ = errno;
    return pos;
}

int64_t SharedFile::Size() const {
    if (fd_ < 0) {
        error_ = errno = EBADF;
        return -1;
    }
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        error_ = errno;
        return -1;
    }
    return st.st_size;
}

void SharedFile::Close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}
