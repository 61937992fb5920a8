#include "platform/sim/PacedStream.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "tools/tsgen/TsGenerator.h"

namespace {

constexpr uint8_t kSync = 0x47;
// A reader that falls behind gets at most this much at once, as a device's buffer would hold.
constexpr uint64_t kMaxBacklogMs = 1000;

class GeneratedStream final : public PacedStream {
public:
    GeneratedStream(const TsGeneratorOptions& options)
        : PacedStream(options.bitrate), generator_(options), packet_(options.packetSize) {}

private:
    void Produce(uint8_t* out, size_t length) override {
        while (length > 0) {
            if (offset_ == packet_.size()) {
                generator_.Generate(packet_.data(), 1);
                offset_ = 0;
            }
            size_t n = std::min(length, packet_.size() - offset_);
            std::memcpy(out, packet_.data() + offset_, n);
            out += n;
            length -= n;
            offset_ += n;
        }
    }

    TsGenerator generator_;
    std::vector<uint8_t> packet_;
    size_t offset_ = packet_.size();
};

class FileStream final : public PacedStream {
public:
    FileStream(std::vector<uint8_t> bytes, uint32_t bitrate) : PacedStream(bitrate), bytes_(std::move(bytes)) {}

private:
    void Produce(uint8_t* out, size_t length) override {
        while (length > 0) {
            size_t n = std::min(length, bytes_.size() - offset_);
            std::memcpy(out, bytes_.data() + offset_, n);
            out += n;
            length -= n;
            offset_ = (offset_ + n) % bytes_.size();
        }
    }

    std::vector<uint8_t> bytes_;
    size_t offset_ = 0;
};

unsigned SniffPacketSize(const std::vector<uint8_t>& data) {
    for (unsigned size : {188u, 192u, 204u}) {
        unsigned offset = size == 192 ? 4 : 0;
        size_t packets = std::min<size_t>(data.size() / size, 8);
        if (packets < 2) continue;
        bool all = true;
        for (size_t i = 0; i < packets && all; ++i) all = data[i * size + offset] == kSync;
        if (all) return size;
    }
    return 0;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

TsGeneratorOptions GeneratorOptions(const PacedStreamSource& declared) {
    TsGeneratorOptions options;
    options.bitrate = declared.bitrate ? declared.bitrate : PacedStreamSource::kDefaultBitrate;
    options.packetSize = declared.packetSize;
    options.seed = declared.seed;
    return options;
}

}  // namespace

uint32_t PacedStream::MeasureFileRate(const std::vector<uint8_t>& file) {
    unsigned size = SniffPacketSize(file);
    if (size == 0) return 0;
    unsigned offset = size == 192 ? 4 : 0;
    int pcrPid = -1;
    uint64_t firstPcr = 0, lastPcr = 0, firstAt = 0, lastAt = 0;
    for (size_t at = 0; at + size <= file.size(); at += size) {
        const uint8_t* ts = &file[at + offset];
        if (ts[0] != kSync) continue;
        int pid = ((ts[1] & 0x1F) << 8) | ts[2];
        bool adaptation = (ts[3] & 0x20) != 0;
        if (!adaptation || ts[4] < 7 || (ts[5] & 0x10) == 0) continue;
        if (pcrPid >= 0 && pid != pcrPid) continue;
        uint64_t base = (uint64_t{ts[6]} << 25) | (uint64_t{ts[7]} << 17) | (uint64_t{ts[8]} << 9) |
                        (uint64_t{ts[9]} << 1) | (ts[10] >> 7);
        uint64_t pcr = base * 300 + (((ts[10] & 1u) << 8) | ts[11]);
        if (pcrPid < 0) {
            pcrPid = pid;
            firstPcr = pcr;
            firstAt = at;
        }
        lastPcr = pcr;
        lastAt = at;
    }
    if (pcrPid < 0 || lastAt == firstAt) return 0;
    uint64_t ticks = (lastPcr + TsGenerator::PcrWrap - firstPcr) % TsGenerator::PcrWrap;
    if (ticks == 0) return 0;
    uint64_t rate = (lastAt - firstAt) * 8 * 27'000'000 / ticks;
    return rate > UINT32_MAX ? 0 : static_cast<uint32_t>(rate);
}

std::unique_ptr<PacedStream> PacedStream::Open(const PacedStreamSource& declared, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    if (declared.file.empty()) {
        TsGeneratorOptions options = GeneratorOptions(declared);
        if (std::string problem = TsGenerator::Validate(options); !problem.empty()) {
            *error = problem;
            return nullptr;
        }
        return std::make_unique<GeneratedStream>(options);
    }
    std::vector<uint8_t> bytes;
    if (!ReadFile(declared.file, bytes, error)) return nullptr;
    if (SniffPacketSize(bytes) == 0) {
        *error = declared.file + " is no transport stream";
        return nullptr;
    }
    uint32_t rate = declared.bitrate ? declared.bitrate : MeasureFileRate(bytes);
    if (rate == 0) {
        *error = "the bitrate of " + declared.file + " cannot be measured from its PCRs; name one";
        return nullptr;
    }
    return std::make_unique<FileStream>(std::move(bytes), rate);
}

std::vector<uint8_t> PacedStream::Reference(const PacedStreamSource& declared, size_t bytes) {
    std::string error;
    auto stream = Open(declared, &error);
    if (!stream) throw std::runtime_error(error);
    std::vector<uint8_t> out(bytes);
    stream->Produce(out.data(), out.size());
    return out;
}

uint64_t PacedStream::DueBytes(Clock::time_point now) const {
    auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - start_).count();
    return static_cast<uint64_t>(elapsed) * bitrate_ / 8'000'000;
}

size_t PacedStream::Read(uint8_t* out, size_t max, uint32_t waitMs) {
    if (max == 0) return 0;
    Clock::time_point now = Clock::now();
    if (!started_) {
        started_ = true;
        start_ = now;
        releasedSinceStart_ = 0;
    }
    uint64_t backlogLimit = uint64_t{bitrate_} / 8 * kMaxBacklogMs / 1000;
    if (DueBytes(now) > releasedSinceStart_ + backlogLimit) {
        // Move the clock so the backlog is one buffer's worth: nothing skipped, only no burst.
        start_ = now - std::chrono::microseconds(
                           (releasedSinceStart_ + backlogLimit) * 8'000'000 / bitrate_);
    }
    Clock::time_point deadline = now + std::chrono::milliseconds(waitMs);
    // Whole requests where the deadline allows keep a reader from spinning on crumbs.
    uint64_t wantedBy = releasedSinceStart_ + max;
    Clock::time_point wantedAt =
        start_ + std::chrono::microseconds((wantedBy * 8'000'000 + bitrate_ - 1) / bitrate_);
    std::this_thread::sleep_until(std::min(deadline, wantedAt));
    uint64_t due = DueBytes(Clock::now()) - std::min(DueBytes(Clock::now()), releasedSinceStart_);
    size_t n = static_cast<size_t>(std::min<uint64_t>(due, max));
    if (n == 0) return 0;
    Produce(out, n);
    releasedSinceStart_ += n;
    produced_ += n;
    return n;
}

void PacedStream::Restart() { started_ = false; }
