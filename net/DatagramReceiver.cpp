#include "net/DatagramReceiver.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/NamedThread.h"

namespace {

constexpr char kReceiveThreadName[] = "sThread";
constexpr int kRtpHeaderSize = 12;
constexpr uint8_t kRtpPlainVersion2 = 0x80;

}  // namespace

DatagramReceiver::DatagramReceiver() : buffer_(new uint8_t[kBufferSize]) {}

DatagramReceiver::~DatagramReceiver() { Stop(); }

void DatagramReceiver::OnDatagram(const uint8_t* data, int length) { UnwrapRtp(data, length); }

void DatagramReceiver::SetCallbacks(void* context, DatagramDataCallback data, DatagramLossCallback loss) {
    context_ = context;
    dataCallback_ = data;
    lossCallback_ = loss;
}

void DatagramReceiver::ResetSequence() {
    lastSequence_ = -1;
    expectedSequence_ = -1;
}

void DatagramReceiver::CloseOnFailure() {
    const int saved = errno;
    const SocketHandle s = socket_.exchange(kInvalidSocket);
    if (s != kInvalidSocket) ::close(s);
    errno = saved;
}

bool DatagramReceiver::CreateAndBind(const NetAddress& address, bool largeBuffer) {
    if (running_.load()) {
        errno = EALREADY;
        return false;
    }
    // A socket left from before is not running; reopening replaces it.
    if (const SocketHandle old = socket_.exchange(kInvalidSocket); old != kInvalidSocket) ::close(old);

    const SocketHandle s = SocketCreate(address.family, SOCK_DGRAM);
    if (s == kInvalidSocket) return false;
    socket_.store(s, std::memory_order_release);

    if (largeBuffer) {
        // Beyond the system's limit only with privilege; without it the plain option
        // gives as much as the limit allows.
        const int size = kReceiveBufferBytes;
        if (SocketSetOption(s, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0 &&
            SocketSetOption(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) {
            CloseOnFailure();
            return false;
        }
    }
    const int on = 1;
    SocketSetOption(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

    NetAddress bindAddress = address;
    if (IsMulticast(address)) {
        std::memset(bindAddress.address, 0, sizeof bindAddress.address);
        // Only the groups this socket joined, as the other platform delivers them;
        // otherwise every group joined anywhere on this port would arrive here.
        const int off = 0;
        if (address.family == kNetFamilyIPv4) {
            SocketSetOption(s, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
        } else {
            SocketSetOption(s, IPPROTO_IPV6, IPV6_MULTICAST_ALL, &off, sizeof off);
        }
    }
    if (SocketBind(s, bindAddress) != 0) {
        CloseOnFailure();
        return false;
    }
    return true;
}

bool DatagramReceiver::JoinGroup(const NetAddress& group, uint32_t interfaceNetOrder) {
    const SocketHandle s = Socket();
    int result;
    if (group.family == kNetFamilyIPv4) {
        ip_mreq request{};
        std::memcpy(&request.imr_multiaddr, group.address, 4);
        request.imr_interface.s_addr = interfaceNetOrder;
        result = JoinGroupWithFallback(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
    } else {
        ipv6_mreq request{};
        std::memcpy(&request.ipv6mr_multiaddr, group.address, 16);
        request.ipv6mr_interface = 0;
        result = JoinGroupWithFallback(s, IPPROTO_IPV6, IPV6_ADD_MEMBERSHIP, &request, sizeof request);
    }
    if (result != 0) {
        CloseOnFailure();
        return false;
    }
    return true;
}

bool DatagramReceiver::Open(const NetAddress& address, const NetAddress* interfaceAddress) {
    if (!CreateAndBind(address, true)) return false;
    if (!IsMulticast(address)) return true;
    uint32_t interfaceNetOrder = 0;
    if (interfaceAddress && interfaceAddress->family != 0) std::memcpy(&interfaceNetOrder, interfaceAddress->address, 4);
    return JoinGroup(address, interfaceNetOrder);
}

intptr_t DatagramReceiver::OpenAndStart(const NetAddress& address) {
    if (!CreateAndBind(address, false)) return kNoThread;
    if (IsMulticast(address) && !JoinGroup(address, 0)) return kNoThread;
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

void DatagramReceiver::UnwrapRtp(const uint8_t* data, int length) {
    if (length <= kRtpHeaderSize || data[0] != kRtpPlainVersion2) return;
    const int sequence = data[2] << 8 | data[3];
    if (sequence == lastSequence_) return;
    lastSequence_ = sequence;
    if (expectedSequence_ >= 0 && expectedSequence_ != sequence && lossCallback_) {
        lossCallback_(context_, sequence, expectedSequence_);
    }
    expectedSequence_ = (sequence + 1) & 0xFFFF;
    Deliver(data + kRtpHeaderSize, length - kRtpHeaderSize);
}
