#include "tools/satip-sim/Stream.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "tools/satip-sim/Messages.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kTsPacket = 188;
constexpr unsigned kRtpClockHz = 90000;
constexpr uint32_t kReadWaitMs = 20;
// A partly filled datagram goes out after this long, so sparse PID sets still flow.
constexpr auto kFlushAfter = std::chrono::milliseconds(100);

uint32_t RandomWord() {
    static std::mutex mutex;
    static std::mt19937 engine{std::random_device{}()};
    std::lock_guard lock(mutex);
    return engine();
}

uint64_t NtpNow() {
    constexpr uint64_t kNtpEpochOffset = 2208988800u;
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    const auto fraction = std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count();
    return ((static_cast<uint64_t>(seconds.count()) + kNtpEpochOffset) << 32) |
           ((static_cast<uint64_t>(fraction) << 32) / 1000000000u);
}

TunerStatus CurrentStatus(const SimState& state, unsigned frontend) {
    return TunerStatus{frontend, std::min(state.level.load(), 255u), state.lock.load(),
                       std::min(state.quality.load(), 15u)};
}

// Everything, or false when the peer is gone or the server stops.
bool SendAll(SimState& state, int socket, const uint8_t* data, size_t length) {
    while (length > 0) {
        pollfd p{socket, POLLOUT, 0};
        const int ready = poll(&p, 1, 100);
        if (state.stopping) return false;
        if (ready <= 0) continue;
        const ssize_t sent = send(socket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (sent <= 0) return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

// True when the client has closed its side or sent something we do not expect.
bool PeerGone(int socket) {
    pollfd p{socket, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR)) return true;
    uint8_t scratch[256];
    return recv(socket, scratch, sizeof scratch, MSG_DONTWAIT) == 0;
}

}  // namespace

PidFilter::PidFilter(unsigned packetSize)
    : packetSize_(packetSize), syncAt_(packetSize == 192 ? 4 : 0), carry_(packetSize) {}

void PidFilter::Push(const uint8_t* in, size_t length, const PidSet& pids, std::vector<uint8_t>& out) {
    if (pids.all && !(carryValid_ && offset_ > 0)) {
        out.insert(out.end(), in, in + length);
        carryValid_ = false;
        offset_ = (offset_ + length) % packetSize_;
        return;
    }
    size_t at = 0;
    while (at < length) {
        if (offset_ == 0) carryValid_ = true;
        const size_t take = std::min<size_t>(packetSize_ - offset_, length - at);
        if (pids.all) {
            if (carryValid_ && offset_ > 0) out.insert(out.end(), carry_.begin(), carry_.begin() + offset_);
            carryValid_ = false;
            out.insert(out.end(), in + at, in + at + take);
        } else if (carryValid_) {
            std::memcpy(carry_.data() + offset_, in + at, take);
        }
        offset_ += take;
        at += take;
        if (offset_ == packetSize_) {
            const uint8_t* ts = carry_.data() + syncAt_;
            const unsigned pid = ((ts[1] & 0x1Fu) << 8) | ts[2];
            if (!pids.all && carryValid_ && ts[0] == 0x47 && pids.Has(pid))
                out.insert(out.end(), carry_.begin(), carry_.end());
            offset_ = 0;
        }
    }
}

RtpStreamer::RtpStreamer(SimState& state, std::shared_ptr<StreamShared> shared, const RtpTarget& target,
                         std::string cname)
    : state_(state),
      shared_(std::move(shared)),
      target_(target),
      cname_(std::move(cname)),
      sequence_(static_cast<uint16_t>(RandomWord())),
      ssrc_(RandomWord()),
      timestampBase_(RandomWord()) {}

RtpStreamer::~RtpStreamer() { Stop(); }

bool RtpStreamer::Start(std::string* error) {
    source_ = PacedStream::Open(state_.source, error);
    if (!source_) return false;
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    if (target_.multicast) {
        const int ttl = static_cast<int>(target_.ttl), loop = 1;
        setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
        if (target_.interface.s_addr)
            setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_IF, &target_.interface, sizeof target_.interface);
    }
    const int buffer = 4 << 20;
    setsockopt(socket_, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    start_ = Clock::now();
    thread_ = std::thread([this] { Run(); });
    return true;
}

void RtpStreamer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
}

void RtpStreamer::SendDatagrams(std::vector<uint8_t>& pending, bool flushWhole) {
    constexpr size_t kPayload = kPacketsPerDatagram * kTsPacket;
    uint8_t datagram[12 + kPayload];
    size_t at = 0;
    // Datagrams carry whole packets only; a partial one waits for its rest.
    while (pending.size() - at >= kPayload || (flushWhole && pending.size() - at >= kTsPacket)) {
        const size_t take = std::min(kPayload, (pending.size() - at) / kTsPacket * kTsPacket);
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
        const uint32_t timestamp = timestampBase_ + static_cast<uint32_t>(elapsed * kRtpClockHz / 1000000);
        WriteRtpHeader(datagram, sequence_++, timestamp, ssrc_);
        std::memcpy(datagram + 12, pending.data() + at, take);
        sendto(socket_, datagram, 12 + take, 0, reinterpret_cast<const sockaddr*>(&target_.rtp), sizeof target_.rtp);
        ++packetsSent_;
        octetsSent_ += static_cast<uint32_t>(take);
        at += take;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
}

void RtpStreamer::SendReport() {
    const Tuning tuning = shared_->Snapshot();
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
    const std::vector<uint8_t> report =
        RtcpReport(ssrc_, NtpNow(), timestampBase_ + static_cast<uint32_t>(elapsed * kRtpClockHz / 1000000),
                   packetsSent_, octetsSent_, cname_, StatusText(tuning, CurrentStatus(state_, shared_->frontend)));
    sendto(socket_, report.data(), report.size(), 0, reinterpret_cast<const sockaddr*>(&target_.rtcp),
           sizeof target_.rtcp);
}

void RtpStreamer::Run() {
    PidFilter filter(state_.source.file.empty() ? state_.source.packetSize : kTsPacket);
    std::vector<uint8_t> raw(64 * 1024), pending;
    auto lastReport = Clock::now() - std::chrono::milliseconds(kRtcpIntervalMs);
    auto lastSent = Clock::now();
    while (!stop_ && !state_.stopping) {
        const size_t got = source_->Read(raw.data(), raw.size(), kReadWaitMs);
        const auto now = Clock::now();
        if (!state_.data) pending.clear();
        if (got > 0 && state_.data) filter.Push(raw.data(), got, shared_->Snapshot().pids, pending);
        // Only a stream that stalled short of a full datagram sends a short one: after a
        // late wake-up the backlog goes out full.
        const uint32_t before = packetsSent_;
        SendDatagrams(pending, false);
        if (packetsSent_ == before && now - lastSent >= kFlushAfter) SendDatagrams(pending, true);
        if (packetsSent_ != before) lastSent = now;
        if (state_.rtcp && now - lastReport >= std::chrono::milliseconds(kRtcpIntervalMs)) {
            SendReport();
            lastReport = now;
        }
    }
}

void ServeHttpBody(SimState& state, int socket, const std::shared_ptr<StreamShared>& shared, bool chunked) {
    std::string error;
    auto source = PacedStream::Open(state.source, &error);
    if (!source) {
        state.Log("http: " + error);
        return;
    }
    PidFilter filter(state.source.file.empty() ? state.source.packetSize : kTsPacket);
    std::vector<uint8_t> raw(64 * 1024), pending;
    while (!state.stopping && !PeerGone(socket)) {
        const size_t got = source->Read(raw.data(), raw.size(), kReadWaitMs);
        if (got == 0 || !state.data) continue;
        pending.clear();
        filter.Push(raw.data(), got, shared->Snapshot().pids, pending);
        if (pending.empty()) continue;
        if (chunked) {
            char head[20];
            const int n = std::snprintf(head, sizeof head, "%zx\r\n", pending.size());
            pending.insert(pending.begin(), head, head + n);
            pending.insert(pending.end(), {'\r', '\n'});
        }
        if (!SendAll(state, socket, pending.data(), pending.size())) return;
    }
    // A clean stop ends the body properly; a client that left gets nothing more.
    if (chunked && state.stopping) send(socket, "0\r\n\r\n", 5, MSG_NOSIGNAL | MSG_DONTWAIT);
}
