#pragma once
// A simulated DVB card behind "\\.\NAME": it answers the card driver's device requests
// (version, card information, read stream, tune, status, signal, reception, switch,
// DiSEqC, extension) as the card's kernel driver does, and streams a transport stream
// in real time. Read-stream requests stay pending until data is due and complete with
// chunks of varying length that begin anywhere in a packet, like a card's DMA buffer.
//
// Threads: requests come from any thread; a worker per open handle serves the reads.
// The fault switches and the inspection calls may be used from any thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devices/CardStreamSource.h"
#include "platform/devices/DeviceBackend.h"

struct SimulatedCardDeclaration {
    std::string name = "QUARNOX0";  // the device path is "\\.\" + name
    uint32_t feedType = 1;          // card information word 0; 0: a card that cannot serve as a feed
    uint32_t tunerType = 2;         // card information word 1
    std::string driverVersion = "2.4.1 (simulated)";
    uint32_t lockDelayMs = 150;     // from a tune (or the open) until the lock bit shows
    uint16_t signal = 48'000;       // level while locked
    uint32_t reception = 0;         // reception value while locked
    bool extension = true;          // the card extension answers "present"
    // Stream bytes skipped before the first read, so that it starts inside a packet.
    uint32_t startOffset = 93;
    uint64_t chunkSeed = 1;         // chunk lengths are pseudo-random but repeatable
    uint32_t minChunk = 1;          // the shortest chunk a read asks its source for
    // A read completes at the latest this long after it was issued once it holds data,
    // and with 0 bytes when no data came at all.
    uint32_t readLatencyMs = 40;
    // Fault switches on from the start (SimulatedCard::Fault bits).
    unsigned faults = 0;
    // Seconds from an open until the card vanishes; 0: it stays.
    uint32_t vanishAfterSeconds = 0;
    // Opened at each open of the device; null result: the open fails with *error set.
    std::function<std::unique_ptr<CardStreamSource>(std::string* error)> openStream;
};

class SimulatedCard : public std::enable_shared_from_this<SimulatedCard> {
public:
    enum Fault : unsigned {
        kVanished = 1,     // every request fails, pending ones at once; opens fail
        kEmptyReads = 2,   // reads complete with 0 bytes
        kNoSync = 4,       // reads carry no byte 0x47
        kNeverLocks = 8,   // a tune never reaches the lock
    };
    static constexpr uint32_t kDeviceType = 0x9C41;
    static constexpr size_t kExtensionSpace = 0x10000;

    explicit SimulatedCard(SimulatedCardDeclaration declared);
    const SimulatedCardDeclaration& Declared() const { return declared_; }

    void SetFault(Fault fault, bool on);
    bool HasFault(Fault fault) const { return (faults_.load() & fault) != 0; }

    // What the driver was asked.
    struct Request {
        DWORD function;
        std::vector<uint8_t> input;
    };
    // Every request but read stream, oldest first (the last 1,000).
    std::vector<Request> Requests() const;
    std::vector<std::vector<uint8_t>> DiseqcMessages() const;
    std::vector<std::array<uint32_t, 15>> Tunes() const;
    int SwitchState() const;  // -1 never switched, 0 off, 1 on
    uint8_t SpaceA(uint16_t address) const;
    uint8_t SpaceB(uint16_t address) const;
    bool IsOpen() const;
    uint64_t BytesStreamed() const { return streamed_.load(); }
    uint64_t ReadsCompleted() const { return reads_.load(); }

    // The driver for one handle; null with *error when open or absent.
    std::unique_ptr<DeviceDriver> Open(uint32_t* error);

private:
    friend class SimulatedCardDriver;
    void Answer(IoRequest& request, uint64_t openedAtMs);
    bool Locked(uint64_t nowMs) const;  // under lock_

    const SimulatedCardDeclaration declared_;
    std::atomic<unsigned> faults_{0};
    std::atomic<uint64_t> streamed_{0};
    std::atomic<uint64_t> reads_{0};

    mutable std::mutex lock_;
    bool open_ = false;
    uint64_t lockAtMs_ = 0;
    bool tuned_ = false;  // the lock after the last tune depends on the never-lock switch
    int switchState_ = -1;
    std::vector<Request> requests_;
    std::vector<std::vector<uint8_t>> diseqc_;
    std::vector<std::array<uint32_t, 15>> tunes_;
    std::vector<uint8_t> spaceA_ = std::vector<uint8_t>(kExtensionSpace, 0);
    std::vector<uint8_t> spaceB_ = std::vector<uint8_t>(kExtensionSpace, 0);
};
