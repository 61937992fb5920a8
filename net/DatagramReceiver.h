#pragma once
// A UDP socket with its own receive thread. Each datagram goes to OnDatagram, which
// unwraps it as its RTP mode says (RTP alone unless a derived class chose another)
// and hands the result to the data callback.
#include <atomic>
#include <cstdint>
#include <memory>

#include "net/NetAddress.h"
#include "net/ReceiveSocket.h"
#include "net/NetSemaphore.h"
#include "net/RtpUnwrap.h"
#include "net/Sockets.h"

// (context, data, length); (context, nullptr, 0) once when reception ends.
using DatagramDataCallback = void (*)(void* context, const uint8_t* data, int length);
// (context, received sequence number, expected sequence number)
using DatagramLossCallback = void (*)(void* context, int received, int expected);

class DatagramReceiver {
public:
    static constexpr int kBufferSize = 65507;  // the largest UDP payload over IPv4

    DatagramReceiver() : DatagramReceiver(RtpMode::Rtp) {}
    // Stops. A derived class whose OnDatagram uses its own members must Stop() in its
    // own destructor, before those members go.
    virtual ~DatagramReceiver();
    DatagramReceiver(const DatagramReceiver&) = delete;
    DatagramReceiver& operator=(const DatagramReceiver&) = delete;

    virtual void OnDatagram(const uint8_t* data, int length);

    // Binds to the address, or for a group to the wildcard address with the group's
    // port, and joins the group (IPv4 on the interface's address when one is given).
    // False when any step fails; LastSocketError() and LastOpenError() tell why.
    // Fails while receiving.
    bool Open(const NetAddress& address, const NetAddress* interfaceAddress);
    // The status-channel variant: default receive buffer, no address reuse and no
    // filtering of other groups on the port, groups joined on no particular
    // interface, and reception starts at once with the callbacks set before. Returns
    // the thread id or kNoThread.
    intptr_t OpenAndStart(const NetAddress& address);
    // Takes a socket bound elsewhere (one of an RTP port pair) as the receiver's own;
    // the receiver closes it. False, and the socket closed, while receiving.
    bool Adopt(SocketHandle socket);
    const ReceiveSocketError& LastOpenError() const { return openError_; }

    // Set these before Start; the receive thread reads them without a lock.
    void SetCallbacks(void* context, DatagramDataCallback data, DatagramLossCallback loss);
    // Starts the receive thread ("sThread", normal priority); a given data callback
    // replaces the one set before. Returns the thread id, or kNoThread when no socket
    // is open, reception is already running, or the thread could not start.
    intptr_t Start(void* context, DatagramDataCallback data);
    // Closes the socket and waits until the receive thread has ended; afterwards no
    // callback runs any more.
    void Stop();

    SocketHandle Socket() const { return socket_.load(std::memory_order_acquire); }
    // Forgets the RTP sequence numbers seen so far; Start does this too.
    void ResetSequence();

protected:
    explicit DatagramReceiver(RtpMode mode);
    void Deliver(const uint8_t* data, int length);

private:
    static unsigned ReceiveThread(void* self);
    void ReceiveLoop();
    bool OpenWith(const ReceiveSocketRequest& request);

    NetSemaphore runningToken_{1};
    std::atomic<SocketHandle> socket_{kInvalidSocket};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    SocketHandle receiveSocket_ = kInvalidSocket;  // the socket the running thread reads

    void* context_ = nullptr;
    DatagramDataCallback dataCallback_ = nullptr;
    DatagramLossCallback lossCallback_ = nullptr;
    RtpUnwrapper unwrapper_;
    ReceiveSocketError openError_;

    std::unique_ptr<uint8_t[]> buffer_;
};
