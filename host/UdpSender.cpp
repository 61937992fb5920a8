#include "host/UdpSender.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

namespace {

using namespace std::chrono_literals;

// The file feed's block period: the best guess before a second block has arrived.
constexpr auto kFirstGap = 100ms;
// A stall must not stretch what follows over seconds.
constexpr auto kLongestGap = 1s;
// How far behind its schedule the pacing thread still catches up.
constexpr auto kMostLag = 5ms;
// About three seconds of a 40 Mbit/s stream; beyond it Send waits for the network.
constexpr size_t kMostQueued = 16u << 20;

}  // namespace

UdpSender::~UdpSender() { Close(); }

void UdpSender::WriteRtpHeader(uint8_t* h, uint16_t sequence, uint32_t timestamp, uint32_t ssrc) {
    h[0] = kRtpVersion << 6;  // no padding, extension or contributing sources
    h[1] = kRtpPayloadType;
    h[2] = static_cast<uint8_t>(sequence >> 8);
    h[3] = static_cast<uint8_t>(sequence);
    for (int i = 0; i < 4; ++i) {
        h[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
        h[8 + i] = static_cast<uint8_t>(ssrc >> (24 - 8 * i));
    }
}

bool UdpSender::Open(const Options& options, std::string* error) {
    Close();
    SendSocketRequest request;
    if (!ParseNetAddress(nullptr, options.destination, request.destination) ||
        NetAddressPort(request.destination) == 0) {
        *error = "not an address with a port: \"" + options.destination + "\" (use 239.1.2.3:5000 or [ff15::1]:5000)";
        return false;
    }
    request.ttl = options.ttl;
    const auto interfaceFailure = [&](int err) {
        *error = "cannot set up multicast sending (interface \"" + options.interface + "\"): " + std::strerror(err);
        return false;
    };
    if (!options.interface.empty() && IsMulticast(request.destination)) {
        if (request.destination.family == kNetFamilyIPv6) {
            request.interfaceName = options.interface;
        } else if (!ParseNetAddress(nullptr, options.interface, request.interfaceAddress) ||
                   request.interfaceAddress.family != kNetFamilyIPv4 || request.interfaceAddress.port != 0) {
            return interfaceFailure(EINVAL);
        }
    }
    SendSocketError failure;
    if (!socket_.Open(request, failure)) {
        if (std::strcmp(failure.operation, "socket()") == 0) {
            *error = std::string("cannot create a UDP socket: ") + std::strerror(failure.systemError);
            return false;
        }
        return interfaceFailure(failure.systemError);
    }
    rtp_ = options.rtp;
    std::random_device random;
    ssrc_ = random();
    sequence_ = static_cast<uint16_t>(random());
    datagram_.resize(12 + kPayloadSize);
    pending_.clear();
    {
        std::lock_guard lock(lock_);
        queue_.clear();
        stop_ = failed_ = sending_ = false;
        error_.clear();
        datagrams_ = 0;
        arrivals_ = 0;
        gap_ = kFirstGap;
        slot_ = {};
        nextSend_ = {};
    }
    pacer_ = std::thread([this] { PaceLoop(); });
    return true;
}

void UdpSender::NoteArrival(Clock::time_point now) {
    if (arrivals_ > 0) {
        const Clock::duration gap = std::min<Clock::duration>(now - lastArrival_, kLongestGap);
        // The first measured gap replaces the guess; later ones are smoothed so that
        // one late block does not stretch the next.
        gap_ = arrivals_ == 1 ? gap : (3 * gap_ + gap) / 4;
    }
    ++arrivals_;
    lastArrival_ = now;
}

bool UdpSender::Queue(std::vector<std::vector<uint8_t>>& batch, bool arrival) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return stop_ || failed_ || queue_.size() * kPayloadSize < kMostQueued; });
    if (stop_ || failed_) return false;
    for (auto& payload : batch) queue_.push_back(std::move(payload));
    if (arrival) {
        // Everything queued, what lagged behind included, is spread until the next
        // arrival is due. The rest of a flush keeps the pace it finds.
        NoteArrival(Clock::now());
        const size_t queued = queue_.size() + (sending_ ? 1 : 0);
        if (queued > 0) slot_ = gap_ / static_cast<long>(queued);
    }
    changed_.notify_all();
    return true;
}

bool UdpSender::Send(const uint8_t* data, size_t length) {
    if (!socket_.IsOpen()) return false;
    pending_.insert(pending_.end(), data, data + length);
    std::vector<std::vector<uint8_t>> batch;
    size_t offset = 0;
    for (; pending_.size() - offset >= kPayloadSize; offset += kPayloadSize) {
        batch.emplace_back(pending_.begin() + static_cast<std::ptrdiff_t>(offset),
                           pending_.begin() + static_cast<std::ptrdiff_t>(offset + kPayloadSize));
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(offset));
    return Queue(batch, true);
}

bool UdpSender::Flush() {
    if (!socket_.IsOpen()) return false;
    std::vector<std::vector<uint8_t>> batch;
    if (!pending_.empty()) batch.push_back(std::move(pending_));
    pending_.clear();
    if (!Queue(batch, false)) return false;
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return failed_ || stop_ || (queue_.empty() && !sending_); });
    return !failed_;
}

void UdpSender::Close() {
    if (pacer_.joinable()) Flush();
    {
        std::lock_guard lock(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    if (pacer_.joinable()) pacer_.join();
    socket_.Close();
}

uint64_t UdpSender::DatagramsSent() const {
    std::lock_guard lock(lock_);
    return datagrams_;
}

std::string UdpSender::Error() const {
    std::lock_guard lock(lock_);
    return error_;
}

bool UdpSender::SendDatagram(const std::vector<uint8_t>& payload) {
    const uint8_t* data = payload.data();
    size_t size = payload.size();
    if (rtp_) {
        const auto now = Clock::now().time_since_epoch();
        const auto ticks =
            static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count() * 9 / 100);
        WriteRtpHeader(datagram_.data(), sequence_++, ticks, ssrc_);
        std::memcpy(datagram_.data() + 12, data, size);
        data = datagram_.data();
        size += 12;
    }
    const int err = socket_.Send(data, size);
    if (err == 0) return true;
    std::lock_guard lock(lock_);
    failed_ = true;
    error_ = std::string("cannot send to the network: ") + std::strerror(err);
    return false;
}

void UdpSender::PaceLoop() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) break;
        // An absolute schedule: late wake-ups do not add up over a block.
        const Clock::time_point now = Clock::now();
        if (nextSend_ > now) {
            changed_.wait_until(lock, nextSend_, [&] { return stop_; });
            continue;
        }
        // A little behind (a late wake-up) is caught up; far behind (the thread was
        // not run for a while) is not made up in a burst: the next arrival spreads
        // the backlog anew.
        if (now - nextSend_ > kMostLag) nextSend_ = now;
        std::vector<uint8_t> payload = std::move(queue_.front());
        queue_.pop_front();
        sending_ = true;
        lock.unlock();
        const bool sent = SendDatagram(payload);
        lock.lock();
        sending_ = false;
        if (sent) ++datagrams_;
        nextSend_ += slot_;
        changed_.notify_all();
        if (!sent) break;
    }
    queue_.clear();
    changed_.notify_all();
}
