#include "host/StreamSession.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {
constexpr int64_t kBurstNs = 5'000'000;
}  // namespace

StreamSession::~StreamSession() {
    Stop();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool StreamSession::Create(const StreamOptions& options, std::string* error) {
    if (!graph_.Create(options.modulePath, [this](const uint8_t* data, size_t length) { Take(data, length); }, error))
        return false;
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        *error = std::string("cannot create an event: ") + std::strerror(errno);
        return false;
    }
    if (!output_.Open(options.out)) {
        *error = output_.Error();
        return false;
    }
    if (options.udp) {
        if (!udp_.Open(options.udpOptions, error)) return false;
        udpOpen_ = true;
    }
    return true;
}

bool StreamSession::ConnectUpstream(IBaseFilter* source, std::string* error) {
    return graph_.ConnectUpstream(source, error);
}

bool StreamSession::Run(std::string* error) { return graph_.Run(error); }

void StreamSession::Take(const uint8_t* data, size_t length) {
    const uint64_t room = limit_.load() - std::min(limit_.load(), taken_.load());
    if (room == 0) return;
    length = static_cast<size_t>(std::min<uint64_t>(length, room));
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    // The first burst (a block the filter split into entries, datagrams that waited)
    // starts the clock: its bytes are not counted against the time after it.
    if (burstStart_ == 0) burstStart_ = now;
    if (now - burstStart_ <= kBurstNs && taken_.load() == firstBytes_.load()) {
        firstBytes_.fetch_add(length);
        firstAt_.store(now);
    }
    lastAt_.store(now);
    taken_.fetch_add(length);
    if (packetSize_ == 0) {
        Emit(data, length);
    } else {
        if (!partial_.empty()) {
            size_t take = std::min(length, packetSize_ - partial_.size());
            partial_.insert(partial_.end(), data, data + take);
            data += take;
            length -= take;
            if (partial_.size() == packetSize_) {
                Emit(partial_.data(), partial_.size());
                partial_.clear();
            }
        }
        size_t whole = length - length % packetSize_;
        Emit(data, whole);
        partial_.assign(data + whole, data + length);
    }
    Wake();
}

void StreamSession::Emit(const uint8_t* data, size_t length) {
    if (length == 0) return;
    output_.Write(data, length);
    if (udpOpen_ && !udpFailed_.load() && !udp_.Send(data, length)) udpFailed_.store(true);
}

double StreamSession::StreamBitrate() const {
    const int64_t span = lastAt_.load() - firstAt_.load();
    if (span <= 0) return 0;
    return static_cast<double>(taken_.load() - firstBytes_.load()) * 8e9 / static_cast<double>(span);
}

void StreamSession::Stop(bool complete) {
    graph_.Stop();
    if (complete) Emit(partial_.data(), partial_.size());
    partial_.clear();
    if (udpOpen_ && !udpFailed_.load() && !udp_.Flush()) udpFailed_.store(true);
    output_.Close();
}

void StreamSession::Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void StreamSession::WaitUntil(double seconds, const std::function<bool()>& done, bool stopOnInterrupt) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (!done() && !OutputFailed() && !(stopOnInterrupt && Interrupted())) {
        int timeout = -1;
        if (seconds > 0) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return;
            timeout = static_cast<int>(std::min<long long>(left, 1'000'000));
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {stopOnInterrupt ? InterruptFd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, timeout) > 0 && (fds[0].revents & POLLIN)) {
            uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
    }
}
