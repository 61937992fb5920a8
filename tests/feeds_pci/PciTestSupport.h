#pragma once
// Simulated cards for the card feed's tests: declared in code, fed from a queue the test
// fills, with packets that carry their own number.
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devices/SimulatedCardBackend.h"

// Packet n carries n in bytes 4 to 7 as four 6-bit digits above 0x80, and 0x00 after
// them: no byte but the first is 0x47, so a false sync never hides a lost byte.
inline std::vector<uint8_t> NumberedPackets(uint32_t first, uint32_t count) {
    std::vector<uint8_t> bytes(size_t{count} * 188, 0);
    for (uint32_t k = 0; k < count; ++k) {
        uint8_t* p = &bytes[size_t{k} * 188];
        const uint32_t n = first + k;
        p[0] = 0x47;
        p[1] = 0x01;
        p[3] = static_cast<uint8_t>(0x10 | (n & 0x0F));
        for (int d = 0; d < 4; ++d) p[4 + d] = static_cast<uint8_t>(0x80 | ((n >> (6 * d)) & 0x3F));
    }
    return bytes;
}

inline uint32_t PacketNumber(const uint8_t* p) {
    uint32_t n = 0;
    for (int d = 0; d < 4; ++d) n |= uint32_t{p[4 + d] & 0x3Fu} << (6 * d);
    return n;
}

// Hands out what the test appended, as fast as it is asked; waits when empty.
class QueueSource final : public CardStreamSource {
public:
    struct Shared {
        std::mutex m;
        std::condition_variable cv;
        std::deque<uint8_t> bytes;
    };
    explicit QueueSource(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    size_t Read(uint8_t* out, size_t max, uint32_t waitMs) override {
        std::unique_lock lock(shared_->m);
        shared_->cv.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return !shared_->bytes.empty(); });
        const size_t n = std::min(max, shared_->bytes.size());
        std::copy_n(shared_->bytes.begin(), n, out);
        shared_->bytes.erase(shared_->bytes.begin(), shared_->bytes.begin() + static_cast<long>(n));
        return n;
    }

private:
    std::shared_ptr<Shared> shared_;
};

// A card declared for the life of the object.
class DeclaredCard {
public:
    explicit DeclaredCard(SimulatedCardDeclaration declared) : name_(declared.name), queue_(std::make_shared<QueueSource::Shared>()) {
        declared.openStream = [queue = queue_](std::string*) { return std::make_unique<QueueSource>(queue); };
        card_ = SimulatedCardBackend::Instance().Declare(std::move(declared));
    }
    ~DeclaredCard() { SimulatedCardBackend::Instance().Remove(name_); }
    DeclaredCard(const DeclaredCard&) = delete;
    DeclaredCard& operator=(const DeclaredCard&) = delete;

    SimulatedCard& operator*() const { return *card_; }
    SimulatedCard* operator->() const { return card_.get(); }
    void Append(const std::vector<uint8_t>& bytes) {
        {
            std::lock_guard lock(queue_->m);
            queue_->bytes.insert(queue_->bytes.end(), bytes.begin(), bytes.end());
        }
        queue_->cv.notify_all();
    }
    size_t Queued() {
        std::lock_guard lock(queue_->m);
        return queue_->bytes.size();
    }

private:
    std::string name_;
    std::shared_ptr<QueueSource::Shared> queue_;
    std::shared_ptr<SimulatedCard> card_;
};

inline SimulatedCardDeclaration DeclaredCardOf(const std::string& name, uint32_t feedType = 1, uint32_t tuner = 2) {
    SimulatedCardDeclaration declared;
    declared.name = name;
    declared.feedType = feedType;
    declared.tunerType = tuner;
    declared.startOffset = 0;
    declared.lockDelayMs = 0;
    declared.readLatencyMs = 20;
    return declared;
}
