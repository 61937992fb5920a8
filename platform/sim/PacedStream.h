#pragma once
// A transport stream that arrives in real time, as a tuner or a card would deliver it:
// generated, or a file looped, released at its bitrate. The simulated devices share it so
// that every simulated source paces and loops the same way.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct PacedStreamSource {
    std::string file;           // empty: a generated stream
    uint32_t bitrate = 0;       // bit/s; 0 with a file: its PCR rate; 0 generated: kDefaultBitrate
    unsigned packetSize = 188;  // generated only: 188, 192 or 204
    uint64_t seed = 1;          // generated only

    static constexpr uint32_t kDefaultBitrate = 8'000'000;
};

class PacedStream {
public:
    // Null with *error set to one line when the file cannot be read, is no transport stream
    // or its rate cannot be measured (name a bitrate then), or the options are unusable.
    static std::unique_ptr<PacedStream> Open(const PacedStreamSource& declared, std::string* error);
    virtual ~PacedStream() = default;

    // Waits until `max` bytes are due or waitMs has passed, then copies what is due (at most
    // `max`). Pacing starts at the first Read after Open or Restart. Returns 0 only when no
    // byte fell due within waitMs. One reader at a time.
    size_t Read(uint8_t* out, size_t max, uint32_t waitMs);
    // The pacing clock starts again; the bytes go on where they were.
    void Restart();
    uint32_t Bitrate() const { return bitrate_; }
    // Bytes handed out since Open.
    uint64_t Position() const { return produced_; }

    // The exact bytes a stream with this declared produces from its start, for comparisons.
    static std::vector<uint8_t> Reference(const PacedStreamSource& declared, size_t bytes);

    // The file's average rate from its first to its last PCR (on the first PID that carries
    // one); 0 when it has fewer than two PCRs or is no transport stream.
    static uint32_t MeasureFileRate(const std::vector<uint8_t>& file);

protected:
    explicit PacedStream(uint32_t bitrate) : bitrate_(bitrate) {}
    // The next `length` bytes of the endless source.
    virtual void Produce(uint8_t* out, size_t length) = 0;

private:
    using Clock = std::chrono::steady_clock;

    uint64_t DueBytes(Clock::time_point now) const;

    uint32_t bitrate_;
    bool started_ = false;
    Clock::time_point start_{};
    uint64_t releasedSinceStart_ = 0;
    uint64_t produced_ = 0;
};
