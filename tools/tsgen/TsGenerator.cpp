#include "tools/tsgen/TsGenerator.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "net/Crc32Mpeg2.h"

namespace {

constexpr uint8_t SyncByte = 0x47;
constexpr size_t TsPacket = 188;
constexpr uint64_t ClockHz = 27'000'000;
constexpr uint64_t TicksPerMs = ClockHz / 1000;
constexpr uint8_t StreamTypeMpeg2Video = 0x02;
constexpr uint64_t PtsLeadTicks = 90 * 100;  // presentation 100 ms after arrival
constexpr size_t M2tsPrefix = 4;
constexpr size_t DvbTrailer = 16;
// Every PCR interval keeps at least this many packets, so PSI and payload still fit.
constexpr uint64_t MinPacketsPerPcrInterval = 4;
constexpr uint64_t MinPacketsPerSecond = 30;

uint64_t SplitMix64(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void PutHeader(uint8_t* ts, uint16_t pid, bool unitStart, uint8_t adaptationControl, uint8_t counter) {
    ts[0] = SyncByte;
    ts[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0x00) | (pid >> 8));
    ts[2] = static_cast<uint8_t>(pid & 0xFF);
    ts[3] = static_cast<uint8_t>((adaptationControl << 4) | (counter & 0x0F));
}

void PutPcr(uint8_t* p, uint64_t pcr) {
    const uint64_t base = pcr / 300;
    const uint64_t ext = pcr % 300;
    p[0] = static_cast<uint8_t>(base >> 25);
    p[1] = static_cast<uint8_t>(base >> 17);
    p[2] = static_cast<uint8_t>(base >> 9);
    p[3] = static_cast<uint8_t>(base >> 1);
    p[4] = static_cast<uint8_t>(((base & 1) << 7) | 0x7E | (ext >> 8));
    p[5] = static_cast<uint8_t>(ext & 0xFF);
}

void PutPts(uint8_t* p, uint64_t pts) {
    p[0] = static_cast<uint8_t>(0x21 | ((pts >> 29) & 0x0E));
    p[1] = static_cast<uint8_t>(pts >> 22);
    p[2] = static_cast<uint8_t>(((pts >> 14) & 0xFE) | 1);
    p[3] = static_cast<uint8_t>(pts >> 7);
    p[4] = static_cast<uint8_t>(((pts << 1) & 0xFE) | 1);
}

// Writes a PSI section after the pointer field and closes it with its CRC.
void PutSection(uint8_t* ts, const uint8_t* body, size_t length) {
    uint8_t* section = ts + 5;
    ts[4] = 0;  // pointer field
    std::memcpy(section, body, length);
    const uint32_t crc = TsGenerator::Crc32(section, length);
    section[length + 0] = static_cast<uint8_t>(crc >> 24);
    section[length + 1] = static_cast<uint8_t>(crc >> 16);
    section[length + 2] = static_cast<uint8_t>(crc >> 8);
    section[length + 3] = static_cast<uint8_t>(crc);
    std::memset(section + length + 4, 0xFF, TsPacket - 5 - length - 4);
}

bool ValidPid(uint16_t pid) { return pid >= 0x0010 && pid <= 0x1FFE; }

std::string Hex(uint16_t pid) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) s += digits[(pid >> shift) & 0xF];
    return s;
}

}  // namespace

TsGenerator::TsGenerator(const TsGeneratorOptions& options) : options_(options), random_(options.seed) {
    if (std::string error = Validate(options); !error.empty()) throw std::invalid_argument(error);
}

std::string TsGenerator::Validate(const TsGeneratorOptions& o) {
    if (o.packetSize != 188 && o.packetSize != 192 && o.packetSize != 204)
        return "packet size must be 188, 192 or 204, not " + std::to_string(o.packetSize);
    if (!ValidPid(o.pcrPid)) return "PCR PID " + Hex(o.pcrPid) + " is outside 0x0010..0x1FFE";
    if (!ValidPid(o.pmtPid)) return "PMT PID " + Hex(o.pmtPid) + " is outside 0x0010..0x1FFE";
    if (o.pcrPid == o.pmtPid) return "PCR PID and PMT PID are both " + Hex(o.pcrPid);
    if (o.pcrIntervalMs > 60'000)
        return "PCR interval " + std::to_string(o.pcrIntervalMs) + " ms is longer than a minute";
    if (o.startPcr >= PcrWrap)
        return "start PCR " + std::to_string(o.startPcr) + " is not below " + std::to_string(PcrWrap) +
               ", where the PCR wraps";
    if (o.videoPercent > 100) return "video share " + std::to_string(o.videoPercent) + "% is above 100%";
    const uint32_t minimum = MinimumBitrate(o.packetSize, o.pcrIntervalMs);
    if (o.bitrate < minimum) {
        const std::string what = o.pcrIntervalMs ? "a PCR every " + std::to_string(o.pcrIntervalMs) + " ms"
                                                 : "no PCR";
        return "bitrate " + std::to_string(o.bitrate) + " bits/s is too low for " + std::to_string(o.packetSize) +
               "-byte packets and " + what + ": at least " + std::to_string(minimum) + " bits/s";
    }
    return {};
}

uint32_t TsGenerator::MinimumBitrate(unsigned packetSize, uint32_t pcrIntervalMs) {
    uint64_t packetsPerSecond = MinPacketsPerSecond;
    if (pcrIntervalMs)
        packetsPerSecond =
            std::max<uint64_t>(packetsPerSecond, (MinPacketsPerPcrInterval * 1000 + pcrIntervalMs - 1) / pcrIntervalMs);
    return static_cast<uint32_t>(packetsPerSecond * packetSize * 8);
}

uint64_t TsGenerator::PacketsForDuration(uint32_t bitrate, uint64_t milliseconds, unsigned packetSize) {
    if (packetSize == 0) return 0;
    const unsigned __int128 bits = static_cast<unsigned __int128>(bitrate) * milliseconds;
    const unsigned __int128 packets = bits / (static_cast<unsigned __int128>(packetSize) * 8 * 1000);
    return packets > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(packets);
}

uint64_t TsGenerator::PcrOfPacket(const TsGeneratorOptions& o, uint64_t index) {
    const unsigned __int128 bits = static_cast<unsigned __int128>(index) * o.packetSize * 8;
    const auto elapsed = static_cast<uint64_t>(bits * ClockHz / o.bitrate % PcrWrap);
    return (o.startPcr + elapsed) % PcrWrap;
}

uint32_t TsGenerator::Crc32(const uint8_t* data, size_t length) { return Crc32Mpeg2(data, length); }

uint64_t TsGenerator::ElapsedTicks(uint64_t index) const {
    const unsigned __int128 bits = static_cast<unsigned __int128>(index) * options_.packetSize * 8;
    return static_cast<uint64_t>(bits * ClockHz / options_.bitrate);
}

size_t TsGenerator::Generate(uint8_t* out, size_t packets) {
    if (options_.packetLimit) {
        const uint64_t left = options_.packetLimit - index_;
        if (packets > left) packets = static_cast<size_t>(left);
    }
    for (size_t i = 0; i < packets; ++i) WritePacket(out + i * options_.packetSize);
    return packets;
}

void TsGenerator::WritePacket(uint8_t* packet) {
    const uint64_t elapsed = ElapsedTicks(index_);
    const uint64_t clock = (options_.startPcr + elapsed % PcrWrap) % PcrWrap;

    uint8_t* ts = packet;
    if (options_.packetSize == 192) {
        // Arrival timestamp with the copy-permission bits clear.
        const auto stamp = static_cast<uint32_t>(clock & 0x3FFFFFFF);
        packet[0] = static_cast<uint8_t>(stamp >> 24);
        packet[1] = static_cast<uint8_t>(stamp >> 16);
        packet[2] = static_cast<uint8_t>(stamp >> 8);
        packet[3] = static_cast<uint8_t>(stamp);
        ts += M2tsPrefix;
    } else if (options_.packetSize == 204) {
        std::memset(packet + TsPacket, 0, DvbTrailer);
    }

    bool pcrDue = false;
    if (options_.pcrIntervalMs && elapsed >= nextPcrDue_) {
        pcrDue = true;
        const uint64_t step = options_.pcrIntervalMs * TicksPerMs;
        nextPcrDue_ += (elapsed - nextPcrDue_) / step * step + step;
    }
    if (elapsed >= nextPsiDue_) {
        patPending_ = pmtPending_ = true;
        const uint64_t step = PsiIntervalMs * TicksPerMs;
        nextPsiDue_ += (elapsed - nextPsiDue_) / step * step + step;
    }

    if (!pcrDue && patPending_) {
        WritePat(ts);
        patPending_ = false;
    } else if (!pcrDue && pmtPending_) {
        WritePmt(ts);
        pmtPending_ = false;
    } else {
        videoCredit_ += options_.videoPercent;
        const bool payload = videoCredit_ >= 100;
        if (payload) videoCredit_ -= 100;
        if (pcrDue) pesStartPending_ = true;
        if (pcrDue || payload)
            WriteElementary(ts, pcrDue, payload, clock);
        else
            WriteNull(ts);
    }
    ++index_;
}

uint8_t TsGenerator::NextCounter(uint16_t pid) {
    const uint8_t cc = counters_[pid];
    counters_[pid] = static_cast<uint8_t>((cc + 1) & 0x0F);
    return cc;
}

uint8_t TsGenerator::PreviousCounter(uint16_t pid) const {
    return static_cast<uint8_t>((counters_[pid] + 15) & 0x0F);
}

void TsGenerator::WritePat(uint8_t* ts) {
    PutHeader(ts, PatPid, true, 0x1, NextCounter(PatPid));
    const uint8_t body[] = {
        0x00, 0xB0, 0x0D,  // table id, section length 13
        0x00, 0x01,        // transport stream id
        0xC1, 0x00, 0x00,  // version 0, current; section 0 of 0
        0x00, 0x01,        // program number 1
        static_cast<uint8_t>(0xE0 | (options_.pmtPid >> 8)), static_cast<uint8_t>(options_.pmtPid & 0xFF),
    };
    PutSection(ts, body, sizeof body);
}

void TsGenerator::WritePmt(uint8_t* ts) {
    PutHeader(ts, options_.pmtPid, true, 0x1, NextCounter(options_.pmtPid));
    const uint16_t pcrPid = options_.pcrIntervalMs ? options_.pcrPid : NullPid;
    const uint8_t body[] = {
        0x02, 0xB0, 0x12,  // table id, section length 18
        0x00, 0x01,        // program number 1
        0xC1, 0x00, 0x00,
        static_cast<uint8_t>(0xE0 | (pcrPid >> 8)), static_cast<uint8_t>(pcrPid & 0xFF),
        0xF0, 0x00,  // no program descriptors
        StreamTypeMpeg2Video,
        static_cast<uint8_t>(0xE0 | (options_.pcrPid >> 8)), static_cast<uint8_t>(options_.pcrPid & 0xFF),
        0xF0, 0x00,
    };
    PutSection(ts, body, sizeof body);
}

void TsGenerator::WriteElementary(uint8_t* ts, bool withPcr, bool withPayload, uint64_t pcr) {
    const uint16_t pid = options_.pcrPid;
    const bool unitStart = withPayload && pesStartPending_;
    uint8_t* p = ts + 4;
    if (withPcr && withPayload) {
        PutHeader(ts, pid, unitStart, 0x3, NextCounter(pid));
        p[0] = 7;  // adaptation field length: flags + PCR
        p[1] = 0x10;
        PutPcr(p + 2, pcr);
        p += 8;
    } else if (withPcr) {
        // No payload: the counter stays where the last payload packet left it.
        PutHeader(ts, pid, false, 0x2, PreviousCounter(pid));
        p[0] = 183;
        p[1] = 0x10;
        PutPcr(p + 2, pcr);
        std::memset(p + 8, 0xFF, TsPacket - 4 - 8);
        return;
    } else {
        PutHeader(ts, pid, unitStart, 0x1, NextCounter(pid));
    }
    if (unitStart) {
        const uint8_t pes[] = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, 0x80, 0x05};
        std::memcpy(p, pes, sizeof pes);
        PutPts(p + sizeof pes, (pcr / 300 + PtsLeadTicks) & ((uint64_t{1} << 33) - 1));
        p += sizeof pes + 5;
        pesStartPending_ = false;
    }
    FillPayload(p, static_cast<size_t>(ts + TsPacket - p));
}

void TsGenerator::WriteNull(uint8_t* ts) {
    PutHeader(ts, NullPid, false, 0x1, NextCounter(NullPid));
    std::memset(ts + 4, 0xFF, TsPacket - 4);
}

void TsGenerator::FillPayload(uint8_t* p, size_t length) {
    // Payload never holds the sync byte value, so sync hunting anywhere in the
    // stream locks on packet structure alone and analysis stays repeatable.
    uint64_t word = 0;
    for (size_t i = 0; i < length; ++i) {
        if (i % 8 == 0) word = SplitMix64(random_);
        const auto b = static_cast<uint8_t>(word >> (8 * (i % 8)));
        p[i] = b == SyncByte ? static_cast<uint8_t>(~b) : b;
    }
}
