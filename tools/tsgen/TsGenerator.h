#pragma once
// Synthetic constant-bitrate MPEG-2 transport stream: PAT, PMT, one video-like
// elementary stream that carries the PCR, and null packets that fill the rest.
//
// Packet k of the output starts at byte k * packetSize and is stamped with the clock
//   PCR(k) = (startPcr + floor(k * packetSize * 8 * 27,000,000 / bitrate)) mod 2^33 * 300
// so any two PCRs of a file give back its bitrate from their byte distance.
#include <cstddef>
#include <cstdint>
#include <string>

struct TsGeneratorOptions {
    uint32_t bitrate = 4'000'000;  // bits per second of the whole output, prefixes and trailers included
    unsigned packetSize = 188;     // 188; 192 = 4-byte timestamp before each packet; 204 = 16 bytes after
    uint16_t pcrPid = 0x100;       // the elementary stream's PID, which carries the PCR
    uint16_t pmtPid = 0x1000;
    uint32_t pcrIntervalMs = 40;   // 0: the stream carries no PCR at all
    uint64_t startPcr = 0;         // 27 MHz ticks; below PcrWrap
    uint64_t seed = 1;             // payload bytes are pseudo-random but repeatable
    unsigned videoPercent = 75;    // share of the non-PSI packets that carry elementary stream payload
    uint64_t packetLimit = 0;      // packets in total; 0: endless
};

class TsGenerator {
public:
    static constexpr uint64_t PcrWrap = (uint64_t{1} << 33) * 300;
    static constexpr uint16_t PatPid = 0x0000;
    static constexpr uint16_t NullPid = 0x1FFF;
    static constexpr uint32_t PsiIntervalMs = 100;

    // Throws std::invalid_argument with Validate's text when the options are unusable.
    explicit TsGenerator(const TsGeneratorOptions& options);

    // Writes the next packets (each PacketSize() bytes) to out. Returns the number
    // written, fewer than asked only once the packet limit is reached.
    size_t Generate(uint8_t* out, size_t packets);

    uint64_t PacketsGenerated() const { return index_; }
    unsigned PacketSize() const { return options_.packetSize; }
    const TsGeneratorOptions& Options() const { return options_; }

    // Empty when the options are usable, else one line saying what is wrong.
    static std::string Validate(const TsGeneratorOptions& options);
    // Lowest bitrate that still leaves room for every PCR and PSI packet.
    static uint32_t MinimumBitrate(unsigned packetSize, uint32_t pcrIntervalMs);
    // Whole packets that fit into the given duration.
    static uint64_t PacketsForDuration(uint32_t bitrate, uint64_t milliseconds, unsigned packetSize);
    // The PCR stamped on packet `index` of a stream with these options (wrapped).
    static uint64_t PcrOfPacket(const TsGeneratorOptions& options, uint64_t index);
    // CRC of ISO/IEC 13818-1 sections (polynomial 0x04C11DB7, no reflection, start 0xFFFFFFFF).
    static uint32_t Crc32(const uint8_t* data, size_t length);

private:
    enum class Kind { Pcr, Pat, Pmt, Video, Null };

    void WritePacket(uint8_t* packet);
    void WritePat(uint8_t* ts);
    void WritePmt(uint8_t* ts);
    void WriteElementary(uint8_t* ts, bool withPcr, bool withPayload, uint64_t pcr);
    void WriteNull(uint8_t* ts);
    uint8_t NextCounter(uint16_t pid);
    uint8_t PreviousCounter(uint16_t pid) const;
    void FillPayload(uint8_t* p, size_t length);
    uint64_t ElapsedTicks(uint64_t index) const;

    TsGeneratorOptions options_;
    uint64_t index_ = 0;
    uint64_t nextPcrDue_ = 0;  // elapsed 27 MHz ticks
    uint64_t nextPsiDue_ = 0;
    bool patPending_ = false;
    bool pmtPending_ = false;
    bool pesStartPending_ = true;
    unsigned videoCredit_ = 0;
    uint64_t random_;
    uint8_t counters_[0x2000] = {};
};
