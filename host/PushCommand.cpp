#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "host/InFlightWindow.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"

namespace {

// Host-supplied mode: the host reads the input on its own thread and hands each
// buffer to the filter.
class PushCommand final : public StreamCommand {
public:
    PushCommand() : StreamCommand("push") {}
    ~PushCommand() override {
        if (fd_ > STDIN_FILENO) ::close(fd_);
        if (stopFd_ >= 0) ::close(stopFd_);
    }

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("--in", in_, "Input file, or - for standard input")->type_name("PATH")->capture_default_str();
    }

    bool Open(std::string* error) override {
        fd_ = in_ == "-" ? STDIN_FILENO : ::open(in_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            *error = "cannot open " + in_ + ": " + std::strerror(errno);
            return false;
        }
        stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (stopFd_ < 0) {
            *error = std::string("cannot create an event: ") + std::strerror(errno);
            return false;
        }
        return true;
    }

    bool Prepare(StreamSession& session, std::string*) override {
        session.Control()->SetMode(kModeHostSupplied, nullptr);
        session.Control()->SetDataCallback(&window_, &InFlightWindow::OnSampleOut);
        return true;
    }

    bool Start(StreamSession& session, std::string*) override {
        reader_ = std::thread([this, &session] { ReadLoop(session); });
        return true;
    }

    bool Finished(const StreamSession& session) const override { return inputEnded_.load() && Drained(session); }

    void Stop(StreamSession&) override {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
        if (reader_.joinable()) reader_.join();
    }

    bool Drained(const StreamSession& session) const override { return session.BytesOut() >= pushed_.load(); }

    std::string InputError() const override { return readError_; }

    // Fills the buffer from the input; hands it on when full, at the end of the input,
    // and, with what it holds, when asked to stop.
    void ReadLoop(StreamSession& session) {
        // One queue entry per buffer, so that each one comes back through the callback once.
        std::vector<uint8_t> buffer(kSampleEntryBytes);
        size_t filled = 0;
        bool more = true;
        while (more) {
            more = ReadSome(buffer.data() + filled, buffer.size() - filled, &filled);
            if ((filled == buffer.size() || !more) && filled > 0) {
                if (!window_.Acquire([&] { return session.OutputFailed(); })) break;
                session.Input()->DeliverBuffer(buffer.data(), static_cast<uint32_t>(filled));
                pushed_ += filled;
                filled = 0;
            }
        }
        inputEnded_.store(true);
        session.Wake();
    }

    // One read once the input is ready; false at its end, on an error or on a stop.
    bool ReadSome(uint8_t* data, size_t size, size_t* filled) {
        pollfd fds[3] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}, {InterruptFd(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) return errno == EINTR;
        if ((fds[1].revents | fds[2].revents) & POLLIN) return false;
        ssize_t n = ::read(fd_, data, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
        if (n < 0) {
            readError_ = "cannot read " + (in_ == "-" ? std::string("standard input") : in_) + ": " +
                         std::strerror(errno);
            return false;
        }
        *filled += static_cast<size_t>(n);
        return n > 0;
    }

    std::string in_ = "-";
    int fd_ = -1;
    int stopFd_ = -1;
    InFlightWindow window_;
    std::thread reader_;
    std::atomic<bool> inputEnded_{false};
    std::atomic<uint64_t> pushed_{0};
    std::string readError_;  // written by the reader, read after it was joined
};

const bool registered = RegisterCommand(
    {10, "push", "Host-supplied mode: data from a file or standard input", [] { return std::make_unique<PushCommand>(); }});

}  // namespace
