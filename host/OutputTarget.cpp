#include "host/OutputTarget.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

OutputTarget::~OutputTarget() { Close(); }

bool OutputTarget::Open(const std::string& path) {
    path_ = path;
    if (path.empty()) {
        discard_ = true;
        return true;
    }
    if (path == "-") {
        fd_ = STDOUT_FILENO;
        return true;
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error_ = "cannot open " + path + " for writing: " + std::strerror(errno);
        return false;
    }
    ownsFd_ = true;
    return true;
}

bool OutputTarget::Write(const uint8_t* data, size_t length) {
    if (failed_.load()) return false;
    if (!discard_) {
        size_t done = 0;
        while (done < length) {
            ssize_t n = ::write(fd_, data + done, length - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // What went out before the failure still counts.
                written_.fetch_add(done, std::memory_order_acq_rel);
                error_ = "cannot write to " + (path_ == "-" ? std::string("standard output") : path_) + ": " +
                         std::strerror(errno);
                failed_.store(true);
                return false;
            }
            done += static_cast<size_t>(n);
        }
    }
    written_.fetch_add(length, std::memory_order_acq_rel);
    return true;
}

bool OutputTarget::Close() {
    if (ownsFd_ && fd_ >= 0) {
        int fd = fd_;
        fd_ = -1;
        ownsFd_ = false;
        if (::close(fd) != 0 && !failed_.load()) {
            error_ = "cannot finish writing " + path_ + ": " + std::strerror(errno);
            failed_.store(true);
            return false;
        }
    }
    return !failed_.load();
}
