#pragma once
// Datagrams taken from a socket several at a time: one system call fetches what is
// waiting, up to the batch's size, so a steady stream costs one call per wake-up
// rather than a blocking call and a "nothing more" call per datagram.
#include <cstdint>
#include <memory>
#include <sys/socket.h>
#include <vector>

#include "net/Sockets.h"

class DatagramBatch {
public:
    // Room per datagram: more than the largest UDP payload, so none is ever cut.
    static constexpr uint32_t kSlotSize = 65536;

    explicit DatagramBatch(uint32_t slots);

    // Fetches up to `most` datagrams (at least 1, at most the slots). With `wait` it
    // blocks for the first and then takes only what is already waiting; without, it
    // takes only what is waiting. The count, or -1 on an error (nothing waiting
    // without `wait` included); 0 when the socket was shut down.
    int Fetch(SocketHandle socket, bool wait, uint32_t most);
    // The next fetched datagram not yet consumed; false when all are.
    bool Peek(const uint8_t** data, uint32_t* length) const;
    void Consume() { ++next_; }
    // The last fetch took fewer than it could: nothing more was waiting then.
    bool Drained() const { return drained_; }

private:
    uint32_t slots_;
    std::unique_ptr<uint8_t[]> buffer_;
    std::vector<mmsghdr> headers_;
    std::vector<iovec> vectors_;
    uint32_t count_ = 0;
    uint32_t next_ = 0;
    bool drained_ = true;
};
