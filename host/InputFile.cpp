#include "host/InputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "host/Command.h"

InputFile::~InputFile() {
    if (fd_ > STDIN_FILENO) ::close(fd_);
    if (stopFd_ >= 0) ::close(stopFd_);
}

bool InputFile::Open(const std::string& path, std::string* error) {
    name_ = path == "-" ? "standard input" : path;
    fd_ = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) {
        *error = std::string("cannot create an event: ") + std::strerror(errno);
        return false;
    }
    return true;
}

InputFile::Status InputFile::Fill(uint8_t* data, size_t size, size_t* got) {
    *got = 0;
    while (*got < size) {
        pollfd fds[3] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}, {InterruptFd(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            error_ = "cannot wait for " + name_ + ": " + std::strerror(errno);
            return Status::kError;
        }
        if ((fds[1].revents | fds[2].revents) & POLLIN) return Status::kStopped;
        ssize_t n = ::read(fd_, data + *got, size - *got);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) {
            error_ = "cannot read " + name_ + ": " + std::strerror(errno);
            return Status::kError;
        }
        if (n == 0) return Status::kEnd;
        *got += static_cast<size_t>(n);
    }
    return Status::kData;
}

void InputFile::RequestStop() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
}
