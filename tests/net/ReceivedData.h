#pragma once
// Collects what a receiver hands to its callbacks, from whichever thread.
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "net/Sockets.h"
#include "tests/support/Datagrams.h"

class ReceivedData {
public:
    using Bytes = std::vector<uint8_t>;

    static void OnData(void* context, const uint8_t* data, int length) {
        auto* self = static_cast<ReceivedData*>(context);
        std::lock_guard lock(self->mutex_);
        if (data == nullptr && length == 0) {
            ++self->endOfStream_;
        } else {
            if (self->endOfStream_ > 0) self->afterEnd_ = true;
            self->datagrams_.emplace_back(data, data + length);
        }
        self->changed_.notify_all();
    }

    static void OnLoss(void* context, int received, int expected) {
        auto* self = static_cast<ReceivedData*>(context);
        std::lock_guard lock(self->mutex_);
        self->losses_.emplace_back(received, expected);
    }

    bool WaitForDatagrams(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return datagrams_.size() >= count; });
    }

    std::vector<Bytes> Datagrams() { return Locked(datagrams_); }
    std::vector<std::pair<int, int>> Losses() { return Locked(losses_); }
    int EndOfStreamCount() { return Locked(endOfStream_); }
    bool DataAfterEnd() { return Locked(afterEnd_); }

private:
    template <class T>
    T Locked(const T& member) {
        std::lock_guard lock(mutex_);
        return member;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Bytes> datagrams_;
    std::vector<std::pair<int, int>> losses_;
    int endOfStream_ = 0;
    bool afterEnd_ = false;
};

namespace nettest {

// Bytes that differ from datagram to datagram and along each one.
inline Bytes Pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed * 31 + i * 7 + (i >> 8));
    return b;
}

// The address a socket is bound to, an option's value, a socket closed at scope end.
inline NetAddress BoundTo(SocketHandle s) {
    NetAddress a;
    SocketLocalAddress(s, a);
    return a;
}

inline int IntOption(SocketHandle s, int level, int option) {
    int value = -1;
    socklen_t length = sizeof value;
    return getsockopt(s, level, option, &value, &length) == 0 ? value : -2;
}

struct Closing {
    SocketHandle s;
    ~Closing() {
        if (s != kInvalidSocket) SocketClose(s);
    }
};

}  // namespace nettest
