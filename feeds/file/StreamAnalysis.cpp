#include "feeds/file/StreamAnalysis.h"

#include "platform/system/SharedFile.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr uint8_t SyncByte = 0x47;
constexpr uint32_t CandidateSizes[] = {188, 192, 204};

constexpr int64_t MeasureSkip = 5'242'880;     // the first 5 MiB are left out
constexpr uint32_t MeasureWindow = 5'242'880;  // and the next 5 MiB analysed
constexpr uint64_t BitsTimesClock = 216'000'000;  // 8 bits per byte x 27 MHz

// Sync byte, no transport error, adaptation field present, PCR flag set.
constexpr uint8_t PcrPattern[6] = {0x47, 0x00, 0x00, 0x20, 0x00, 0x10};
constexpr uint8_t AnyPidMask[6] = {0xFF, 0x80, 0x00, 0x20, 0x00, 0x10};
constexpr uint8_t SamePidMask[6] = {0xFF, 0x9F, 0xFF, 0x20, 0x00, 0x10};

struct PcrPacket {
    uint32_t offset;
    uint16_t pid;
    uint64_t pcr;
};

uint32_t CountHits(const uint8_t* data, uint32_t length, uint32_t size) {
    uint32_t hits = 0;
    uint64_t i = 0;
    while (i + size + 1 < length) {
        if (data[i] == SyncByte && data[i + size] == SyncByte) {
            ++hits;
            i += size;
        } else {
            ++i;
        }
    }
    return hits;
}

bool Matches(const uint8_t* p, const uint8_t* pattern, const uint8_t* mask) {
    for (int k = 0; k < 6; ++k)
        if ((p[k] & mask[k]) != (pattern[k] & mask[k])) return false;
    return true;
}

uint64_t ReadPcr(const uint8_t* packet) {
    const uint64_t base = uint64_t{packet[6]} << 25 | uint64_t{packet[7]} << 17 | uint64_t{packet[8]} << 9 |
                          uint64_t{packet[9]} << 1 | uint64_t{packet[10]} >> 7;
    const uint64_t extension = uint64_t(packet[10] & 1) << 8 | packet[11];
    return base * 300 + extension;
}

std::optional<PcrPacket> FindPcr(const uint8_t* data, uint32_t n, uint32_t from, uint32_t packetSize,
                                 const uint8_t* pattern, const uint8_t* mask) {
    uint64_t i = from;
    while (i + packetSize + 6 < n) {
        const uint8_t* p = data + i;
        if (p[0] != SyncByte || p[packetSize] != SyncByte) {
            ++i;
            continue;
        }
        if (Matches(p, pattern, mask))
            return PcrPacket{static_cast<uint32_t>(i), static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]), ReadPcr(p)};
        i += packetSize;
    }
    return std::nullopt;
}

// Empty when the text is not well-formed UTF-16.
std::optional<std::string> ToUtf8(const char16_t* text) {
    std::string out;
    for (const char16_t* p = text; *p; ++p) {
        char32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (p[1] < 0xDC00 || p[1] > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The filter widens each byte of its 8-bit name; undoing that gives the name back
// when it was not plain ASCII.
std::optional<std::string> Narrowed(const char16_t* text) {
    std::string out;
    bool high = false;
    for (const char16_t* p = text; *p; ++p) {
        if (*p > 0xFF) return std::nullopt;
        high |= *p >= 0x80;
        out += static_cast<char>(*p);
    }
    if (!high) return std::nullopt;
    return out;
}

// Only regular files: opening a FIFO would wait for a writer that may never come.
bool OpenRegular(SharedFile& file, const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return file.Open(path);
}

bool OpenByName(SharedFile& file, const char16_t* path) {
    if (auto utf8 = ToUtf8(path); utf8 && OpenRegular(file, *utf8)) return true;
    if (auto bytes = Narrowed(path); bytes && OpenRegular(file, *bytes)) return true;
    return false;
}

constexpr uint64_t PcrModulus = (uint64_t{1} << 33) * 300;
constexpr uint64_t LongestPcrStep = 27'000'000;  // one second of the 27 MHz clock
constexpr size_t ReadChunk = 1 << 20;

// A moving window over a file, so a walk through a file of any size can look a few
// bytes ahead without reading it whole.
class FileWindow {
public:
    explicit FileWindow(SharedFile& file) : file_(file), buffer_(ReadChunk) {}

    // The bytes [offset, offset + n), or null when the file ends first or a read fails.
    // Offsets never go back.
    const uint8_t* At(uint64_t offset, size_t n) { return Load(offset, n) >= n ? Data(offset) : nullptr; }

    // Up to n bytes from offset: how many there are, at Data().
    size_t Load(uint64_t offset, size_t n) {
        if (offset + n > base_ + length_) {
            const size_t keep = offset < base_ + length_ ? static_cast<size_t>(base_ + length_ - offset) : 0;
            if (keep) std::copy_n(buffer_.data() + (offset - base_), keep, buffer_.data());
            if (!keep && offset > base_ + length_ && !file_.Seek(static_cast<int64_t>(offset)))
                error_ = file_.LastError();
            base_ = offset;
            length_ = keep;
            while (!error_ && !end_ && length_ < n) {
                const long got = file_.Read(buffer_.data() + length_, buffer_.size() - length_);
                if (got < 0) error_ = file_.LastError();
                if (got <= 0)
                    end_ = true;
                else
                    length_ += static_cast<size_t>(got);
            }
        }
        return static_cast<size_t>(std::min<uint64_t>(n, base_ + length_ > offset ? base_ + length_ - offset : 0));
    }
    const uint8_t* Data(uint64_t offset) const { return buffer_.data() + (offset - base_); }
    int Error() const { return error_; }

private:
    SharedFile& file_;
    std::vector<uint8_t> buffer_;
    uint64_t base_ = 0;
    size_t length_ = 0;
    bool end_ = false;
    int error_ = 0;
};

bool CarriesPcr(const uint8_t* packet) {
    return !(packet[1] & 0x80) && (packet[3] & 0x20) && packet[4] >= 7 && (packet[5] & 0x10);
}

uint16_t PidOf(const uint8_t* packet) { return static_cast<uint16_t>((packet[1] & 0x1F) << 8 | packet[2]); }

void FollowPcrs(FileWindow& window, StreamFileSummary& summary) {
    const uint32_t size = summary.packetSize;
    bool synced = false;
    bool havePrevious = false;
    uint64_t previousOffset = 0, previousPcr = 0;
    uint64_t offset = 0;
    while (const uint8_t* p = window.At(offset, 1)) {
        if (p[0] != SyncByte) {
            synced = false;
            ++offset;
            continue;
        }
        if (!synced) {
            // Back in step only where the next packet starts with a sync byte too
            // (or where the file ends before it).
            const uint8_t* pair = window.At(offset, size + 1);
            if (pair && pair[size] != SyncByte) {
                ++offset;
                continue;
            }
            synced = true;
        }
        const uint8_t* packet = window.At(offset, 12);
        if (packet && CarriesPcr(packet) && (summary.pcrCount == 0 || PidOf(packet) == summary.pcrPid)) {
            const uint64_t pcr = ReadPcr(packet) % PcrModulus;
            if (summary.pcrCount++ == 0) summary.pcrPid = PidOf(packet);
            if (havePrevious) {
                const uint64_t step = (pcr + PcrModulus - previousPcr) % PcrModulus;
                const bool discontinuity = packet[5] & 0x80;
                if (discontinuity || step == 0 || step > LongestPcrStep) {
                    ++summary.discontinuities;
                } else {
                    summary.pcrBytes += offset - previousOffset;
                    summary.pcrTicks += step;
                }
            }
            havePrevious = true;
            previousOffset = offset;
            previousPcr = pcr;
        }
        offset += size;
    }
}

}  // namespace

uint32_t StreamFileSummary::AverageBitrate() const {
    if (pcrTicks == 0) return 0;
    const long double bits = static_cast<long double>(pcrBytes) * BitsTimesClock / pcrTicks;
    return bits >= 4294967295.0L ? UINT32_MAX : static_cast<uint32_t>(bits + 0.5L);
}

StreamFileSummary SummariseStreamFile(const char* path) {
    StreamFileSummary summary;
    struct stat st;
    if (!path || ::stat(path, &st) != 0) {
        summary.error = path ? errno : ENOENT;
        return summary;
    }
    if (!S_ISREG(st.st_mode)) {
        summary.error = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        return summary;
    }
    SharedFile file;
    if (!file.Open(path)) {
        summary.error = file.LastError();
        return summary;
    }
    summary.size = static_cast<uint64_t>(std::max<int64_t>(file.Size(), 0));
    FileWindow window(file);
    const auto sniffed = static_cast<uint32_t>(window.Load(0, kPacketSizeSniffBytes));
    summary.packetSize = FindPacketSize(window.Data(0), sniffed);
    if (summary.packetSize) FollowPcrs(window, summary);
    if (window.Error()) summary = StreamFileSummary{.error = window.Error()};
    return summary;
}

uint32_t FindPacketSize(const uint8_t* data, uint32_t length) {
    if (!data) return 0;
    for (uint32_t size : CandidateSizes)
        if (CountHits(data, length, size)) return DetectPacketSize(data, length);
    return 0;
}

uint32_t DetectPacketSize(const uint8_t* data, uint32_t length) {
    if (!data) return 204;
    const uint32_t hits188 = CountHits(data, length, CandidateSizes[0]);
    const uint32_t hits192 = CountHits(data, length, CandidateSizes[1]);
    const uint32_t hits204 = CountHits(data, length, CandidateSizes[2]);
    if (hits188 > hits204 && hits188 > hits192) return 188;
    if (hits192 > hits188 && hits192 > hits204) return 192;
    return 204;
}

uint32_t MeasureFileBitrate(const char16_t* path) {
    if (!path || !*path) return 0;
    SharedFile file;
    if (!OpenByName(file, path)) return 0;

    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[MeasureWindow]);
    if (!buffer) return 0;
    if (!file.Seek(MeasureSkip)) return 0;
    const long read = file.Read(buffer.get(), MeasureWindow);
    if (read < 0) return 0;
    const auto n = static_cast<uint32_t>(read);
    const uint8_t* data = buffer.get();

    const uint32_t packetSize = DetectPacketSize(data, n);
    const auto first = FindPcr(data, n, 0, packetSize, PcrPattern, AnyPidMask);
    if (!first) return 0;

    uint8_t samePid[6];
    std::copy(std::begin(PcrPattern), std::end(PcrPattern), samePid);
    samePid[1] |= static_cast<uint8_t>(first->pid >> 8);
    samePid[2] |= static_cast<uint8_t>(first->pid & 0xFF);
    const auto second = FindPcr(data, n, first->offset + 1, packetSize, samePid, SamePidMask);
    if (!second) return 0;

    const uint64_t delta = second->pcr - first->pcr;
    if (delta == 0) return 0;
    const uint64_t bytes = second->offset - first->offset;
    return static_cast<uint32_t>(bytes * BitsTimesClock / delta);
}
