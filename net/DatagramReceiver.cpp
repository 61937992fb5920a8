#include "net/DatagramReceiver.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/NamedThread.h"
#include "net/SocketErrorText.h"

namespace {

constexpr char kReceiveThreadName[] = "sThread";

}  // namespace

DatagramReceiver::DatagramReceiver(RtpMode mode) : unwrapper_(mode), buffer_(new uint8_t[kBufferSize]) {}

DatagramReceiver::~DatagramReceiver() { Stop(); }

void DatagramReceiver::OnDatagram(const uint8_t* data, int length) {
    const RtpUnwrapResult result = unwrapper_.Unwrap({data, static_cast<size_t>(length)});
    if (result.expectedSequence >= 0 && lossCallback_) {
        lossCallback_(context_, result.sequence, result.expectedSequence);
    }
    if (result.verdict != RtpVerdict::Drop) Deliver(result.data.data(), static_cast<int>(result.data.size()));
}

void DatagramReceiver::SetCallbacks(void* context, DatagramDataCallback data, DatagramLossCallback loss) {
    context_ = context;
    dataCallback_ = data;
    lossCallback_ = loss;
}

void DatagramReceiver::ResetSequence() { unwrapper_.Reset(); }

bool DatagramReceiver::OpenWith(const ReceiveSocketRequest& request) {
    if (running_.load()) {
        errno = EALREADY;
        openError_ = {ReceiveSocketFailure::Operation, "open", LastSocketError()};
        return false;
    }
    // A socket left from before is not running; reopening replaces it.
    if (const SocketHandle old = socket_.exchange(kInvalidSocket); old != kInvalidSocket) ::close(old);
    const SocketHandle s = OpenReceiveSocket(request, openError_);
    if (s == kInvalidSocket) return false;
    socket_.store(s, std::memory_order_release);
    return true;
}

bool DatagramReceiver::Adopt(SocketHandle s) {
    if (running_.load()) {
        ::close(s);
        errno = EALREADY;
        openError_ = {ReceiveSocketFailure::Operation, "open", LastSocketError()};
        return false;
    }
    if (const SocketHandle old = socket_.exchange(s); old != kInvalidSocket) ::close(old);
    openError_ = {};
    return true;
}

bool DatagramReceiver::Open(const NetAddress& address, const NetAddress* interfaceAddress) {
    ReceiveSocketRequest request;
    request.address = address;
    if (interfaceAddress) request.interfaceAddress = *interfaceAddress;
    return OpenWith(request);
}

intptr_t DatagramReceiver::OpenAndStart(const NetAddress& address) {
    ReceiveSocketRequest request;
    request.address = address;
    request.largeReceiveBuffer = false;
    request.shareAndFilter = false;
    if (!OpenWith(request)) return kNoThread;
    return Start(nullptr, nullptr);
}

intptr_t DatagramReceiver::Start(void* context, DatagramDataCallback data) {
    const SocketHandle s = Socket();
    if (s == kInvalidSocket) {
        errno = ENOTSOCK;
        return kNoThread;
    }
    if (running_.exchange(true)) {
        errno = EALREADY;
        return kNoThread;
    }
    if (data) {
        context_ = context;
        dataCallback_ = data;
    }
    ResetSequence();
    stopping_.store(false);
    receiveSocket_ = s;
    // Free unless a thread that ended on its own is still handing it back.
    runningToken_.Wait(NetSemaphore::kInfinite);
    const intptr_t thread = CreateNamedThread(ReceiveThread, kThreadLevelNormal, this, kReceiveThreadName);
    if (thread == kNoThread) {
        running_.store(false);
        runningToken_.Release();
    }
    return thread;
}

void DatagramReceiver::Stop() {
    stopping_.store(true);
    const SocketHandle s = socket_.exchange(kInvalidSocket);
    // Shutting down wakes the blocked receive; the descriptor is closed only once the
    // thread is gone, so that its number cannot be reused under the thread's feet.
    if (s != kInvalidSocket) ::shutdown(s, SHUT_RDWR);
    runningToken_.Wait(NetSemaphore::kInfinite);
    runningToken_.Release();
    if (s != kInvalidSocket) ::close(s);
}

unsigned DatagramReceiver::ReceiveThread(void* self) {
    static_cast<DatagramReceiver*>(self)->ReceiveLoop();
    return 0;
}

void DatagramReceiver::ReceiveLoop() {
    uint8_t* const buffer = buffer_.get();
    while (!stopping_.load(std::memory_order_relaxed)) {
        // A shut-down socket also reads 0 bytes but names no sender; an empty datagram
        // names its sender and must not end reception.
        NetAddress sender;
        const int length = SocketRecvFrom(receiveSocket_, buffer, kBufferSize, sender);
        if (length < 0) break;
        if (length == 0) {
            if (sender.family == 0) break;
            continue;
        }
        OnDatagram(buffer, length);
    }
    if (dataCallback_) dataCallback_(context_, nullptr, 0);
    running_.store(false);
    runningToken_.Release();
}

void DatagramReceiver::Deliver(const uint8_t* data, int length) {
    if (dataCallback_) dataCallback_(context_, data, length);
}
