#include "platform/devices/SimulatedCard.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>

#include "platform/system/ErrorCodes.h"
#include "platform/system/Thread.h"
#include "platform/system/Tick.h"

namespace {

// Function numbers of the card driver's requests.
enum CardFunction : DWORD {
    kVersion = 1,
    kCardInfo = 2,
    kReadStream = 16,
    kTune = 32,
    kReadStatus = 33,
    kSwitchOff = 34,
    kSwitchOn = 39,
    kDiseqc = 40,
    kSignalLevel = 41,
    kReception = 48,
    kExtensionPresent = 112,
    kWriteB = 113,
    kWriteA = 114,
    kReadB = 115,
    kReadA = 116,
    kExtensionReset = 118,
};

constexpr size_t kVersionBytes = 100;
constexpr size_t kCardInfoBytes = 24;
constexpr size_t kTuneBytes = 60;
constexpr size_t kRequestLogLimit = 1000;
// Locked, with carrier, signal, viterbi and sync as a demodulator reports them.
constexpr uint8_t kStatusLocked = 0x1F;
constexpr uint8_t kStatusSearching = 0x03;
constexpr uint32_t kWorkerStepMs = 10;
constexpr uint8_t kSyncByte = 0x47;
constexpr uint32_t kPacket = 188;

uint64_t Now() { return GetTickCount64(); }

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

template <typename T>
void Put(IoRequest& request, const T& value, size_t size = sizeof(T)) {
    std::memcpy(request.Output(), &value, size);
}

}  // namespace

// One open handle: synchronous answers on the caller's thread, reads on a worker.
class SimulatedCardDriver final : public DeviceDriver {
public:
    SimulatedCardDriver(std::shared_ptr<SimulatedCard> card, std::unique_ptr<CardStreamSource> source)
        : card_(std::move(card)), source_(std::move(source)), rng_(card_->declared_.chunkSeed), openedAt_(Now()) {
        worker_.Start([this] { Serve(); }, "SimCardDriver");
    }
    ~SimulatedCardDriver() override { Close(); }

    void Submit(std::shared_ptr<IoRequest> request) override {
        if (Vanished()) return request->Complete(ERROR_DEVICE_NOT_CONNECTED, 0);
        if (request->DeviceType() != SimulatedCard::kDeviceType) return request->Complete(ERROR_INVALID_FUNCTION, 0);
        if (request->Function() != kReadStream) return card_->Answer(*request, openedAt_);
        {
            std::lock_guard lock(lock_);
            if (!closing_) {
                reads_.push_back(std::move(request));
                wake_.notify_one();
                return;
            }
        }
        request->Complete(ERROR_INVALID_HANDLE, 0);
    }

    void Close() override {
        {
            std::lock_guard lock(lock_);
            if (closing_) return;
            closing_ = true;
        }
        wake_.notify_all();
        worker_.Join();
        for (auto& request : reads_) request->Complete(ERROR_OPERATION_ABORTED, 0);
        reads_.clear();
        std::lock_guard lock(card_->lock_);
        card_->open_ = false;
    }

private:
    bool Vanished() const {
        const uint32_t after = card_->declared_.vanishAfterSeconds;
        return card_->HasFault(SimulatedCard::kVanished) || (after && Now() - openedAt_ >= uint64_t{after} * 1000);
    }

    bool Closing() {
        std::lock_guard lock(lock_);
        return closing_;
    }

    void Serve() {
        for (;;) {
            std::shared_ptr<IoRequest> request;
            {
                std::unique_lock lock(lock_);
                wake_.wait(lock, [&] { return closing_ || !reads_.empty(); });
                if (closing_) return;
                request = std::move(reads_.front());
                reads_.pop_front();
            }
            Read(*request);
        }
    }

    // Varying lengths, never a whole number of packets.
    DWORD ChunkLength(DWORD room) {
        const DWORD shortest = std::min<DWORD>(std::max<DWORD>(card_->declared_.minChunk, 1), room);
        if (room <= shortest) return room;
        const uint64_t r = SplitMix(rng_);
        const DWORD from = (r & 1) ? shortest : std::max(shortest, room / 2);
        DWORD length = from + static_cast<DWORD>((r >> 1) % (room - from + 1));
        if (length % kPacket == 0 && length > shortest) --length;
        return length;
    }

    void Read(IoRequest& request) {
        const uint64_t deadline = Now() + card_->declared_.readLatencyMs;
        const DWORD target = ChunkLength(request.OutputLength());
        DWORD got = 0;
        while (got < target) {
            if (Closing()) return request.Complete(ERROR_OPERATION_ABORTED, 0);
            if (Vanished()) return request.Complete(ERROR_DEVICE_NOT_CONNECTED, 0);
            const uint64_t now = Now();
            if (now >= deadline) break;
            const uint32_t wait = static_cast<uint32_t>(std::min<uint64_t>(kWorkerStepMs, deadline - now));
            bool locked;
            {
                std::lock_guard lock(card_->lock_);
                locked = card_->Locked(now);
            }
            if (!locked || card_->HasFault(SimulatedCard::kEmptyReads) || !source_) {
                // No signal, no data: the read waits out its time and comes back empty.
                Sleep(wait);
                continue;
            }
            if (skip_ > 0) {
                skip_ -= source_->Read(request.Output(), std::min<size_t>(skip_, request.OutputLength()), wait);
                continue;
            }
            got += static_cast<DWORD>(source_->Read(request.Output() + got, target - got, wait));
        }
        if (card_->HasFault(SimulatedCard::kEmptyReads)) got = 0;
        if (card_->HasFault(SimulatedCard::kNoSync))
            std::replace(request.Output(), request.Output() + got, kSyncByte, static_cast<uint8_t>(kSyncByte ^ 0xFF));
        card_->streamed_ += got;
        ++card_->reads_;
        request.Complete(0, got);
    }

    const std::shared_ptr<SimulatedCard> card_;
    const std::unique_ptr<CardStreamSource> source_;
    uint64_t rng_;
    const uint64_t openedAt_;
    size_t skip_ = card_->declared_.startOffset;

    std::mutex lock_;
    std::condition_variable wake_;
    bool closing_ = false;
    std::deque<std::shared_ptr<IoRequest>> reads_;
    Thread worker_;  // last: it ends before the members it uses
};

SimulatedCard::SimulatedCard(SimulatedCardDeclaration declared) : declared_(std::move(declared)), faults_(declared_.faults) {}

void SimulatedCard::SetFault(Fault fault, bool on) {
    if (on) faults_ |= fault;
    else faults_ &= ~static_cast<unsigned>(fault);
}

std::unique_ptr<DeviceDriver> SimulatedCard::Open(uint32_t* error) {
    if (HasFault(kVanished)) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    {
        std::lock_guard lock(lock_);
        if (open_) {
            *error = ERROR_SHARING_VIOLATION;
            return nullptr;
        }
        open_ = true;
        // Powered up on its last tuning: the lock comes after the usual delay.
        lockAtMs_ = Now() + declared_.lockDelayMs;
        tuned_ = false;
    }
    std::unique_ptr<CardStreamSource> source;
    if (declared_.openStream) {
        std::string why;
        source = declared_.openStream(&why);
        if (!source) {
            std::lock_guard lock(lock_);
            open_ = false;
            *error = ERROR_GEN_FAILURE;
            return nullptr;
        }
    }
    return std::make_unique<SimulatedCardDriver>(shared_from_this(), std::move(source));
}

bool SimulatedCard::Locked(uint64_t nowMs) const {
    if (tuned_ && HasFault(kNeverLocks)) return false;
    return nowMs >= lockAtMs_;
}

void SimulatedCard::Answer(IoRequest& request, uint64_t /*openedAtMs*/) {
    const std::vector<uint8_t>& in = request.Input();
    const DWORD room = request.OutputLength();
    std::unique_lock lock(lock_);
    if (requests_.size() >= kRequestLogLimit) requests_.erase(requests_.begin());
    requests_.push_back({request.Function(), in});
    const bool locked = Locked(Now());

    switch (request.Function()) {
    case kVersion: {
        if (room == 0) return request.Complete(ERROR_INSUFFICIENT_BUFFER, 0);
        const size_t n = std::min({declared_.driverVersion.size(), size_t{room} - 1, kVersionBytes - 1});
        std::memcpy(request.Output(), declared_.driverVersion.data(), n);
        request.Output()[n] = 0;
        return request.Complete(0, static_cast<DWORD>(n + 1));
    }
    case kCardInfo: {
        if (room < kCardInfoBytes) return request.Complete(ERROR_INSUFFICIENT_BUFFER, 0);
        uint8_t info[kCardInfoBytes] = {};
        std::memcpy(info, &declared_.feedType, 4);
        std::memcpy(info + 4, &declared_.tunerType, 4);
        std::memcpy(request.Output(), info, sizeof info);
        return request.Complete(0, kCardInfoBytes);
    }
    case kTune: {
        if (in.size() < kTuneBytes || room < kTuneBytes) return request.Complete(ERROR_INVALID_PARAMETER, 0);
        std::array<uint32_t, 15> record;
        std::memcpy(record.data(), in.data(), kTuneBytes);
        tunes_.push_back(record);
        tuned_ = true;
        lockAtMs_ = Now() + declared_.lockDelayMs;
        std::memcpy(request.Output(), in.data(), kTuneBytes);
        return request.Complete(0, kTuneBytes);
    }
    case kReadStatus: {
        if (room < 1) return request.Complete(ERROR_INSUFFICIENT_BUFFER, 0);
        const bool searching = !locked && declared_.signal > 0 && !(tuned_ && HasFault(kNeverLocks));
        request.Output()[0] = locked ? kStatusLocked : searching ? kStatusSearching : 0;
        return request.Complete(0, 1);
    }
    case kSignalLevel: {
        if (room < 2) return request.Complete(ERROR_INSUFFICIENT_BUFFER, 0);
        const uint16_t level = locked ? declared_.signal : 0;
        Put(request, level);
        return request.Complete(0, 2);
    }
    case kReception: {
        if (room < 4) return request.Complete(ERROR_INSUFFICIENT_BUFFER, 0);
        const uint32_t value = locked ? declared_.reception : 0;
        Put(request, value);
        return request.Complete(0, 4);
    }
    case kSwitchOff:
    case kSwitchOn:
        switchState_ = request.Function() == kSwitchOn ? 1 : 0;
        return request.Complete(0, 0);
    case kDiseqc:
        if (in.empty()) return request.Complete(ERROR_INVALID_PARAMETER, 0);
        diseqc_.push_back(in);
        return request.Complete(0, 0);
    case kExtensionPresent:
        if (room < 1) return request.Complete(ERROR_INSUFFICIENT_BUFFER, 0);
        if (!declared_.extension) return request.Complete(ERROR_NOT_SUPPORTED, 0);
        request.Output()[0] = 1;
        return request.Complete(0, 1);
    case kWriteA:
    case kWriteB: {
        if (!declared_.extension) return request.Complete(ERROR_NOT_SUPPORTED, 0);
        if (in.size() < 3) return request.Complete(ERROR_INVALID_PARAMETER, 0);
        const uint16_t address = static_cast<uint16_t>(in[0] << 8 | in[1]);  // high byte first
        (request.Function() == kWriteA ? spaceA_ : spaceB_)[address] = in[2];
        return request.Complete(0, 0);
    }
    case kReadA:
    case kReadB: {
        if (!declared_.extension) return request.Complete(ERROR_NOT_SUPPORTED, 0);
        if (in.size() < 2 || room < 1) return request.Complete(ERROR_INVALID_PARAMETER, 0);
        const uint16_t address = static_cast<uint16_t>(in[0] | in[1] << 8);  // low byte first
        request.Output()[0] = (request.Function() == kReadA ? spaceA_ : spaceB_)[address];
        return request.Complete(0, 1);
    }
    case kExtensionReset:
        if (!declared_.extension) return request.Complete(ERROR_NOT_SUPPORTED, 0);
        std::fill(spaceA_.begin(), spaceA_.end(), 0);
        std::fill(spaceB_.begin(), spaceB_.end(), 0);
        return request.Complete(0, 0);
    default:
        return request.Complete(ERROR_INVALID_FUNCTION, 0);
    }
}

std::vector<SimulatedCard::Request> SimulatedCard::Requests() const {
    std::lock_guard lock(lock_);
    return requests_;
}

std::vector<std::vector<uint8_t>> SimulatedCard::DiseqcMessages() const {
    std::lock_guard lock(lock_);
    return diseqc_;
}

std::vector<std::array<uint32_t, 15>> SimulatedCard::Tunes() const {
    std::lock_guard lock(lock_);
    return tunes_;
}

int SimulatedCard::SwitchState() const {
    std::lock_guard lock(lock_);
    return switchState_;
}

uint8_t SimulatedCard::SpaceA(uint16_t address) const {
    std::lock_guard lock(lock_);
    return spaceA_[address];
}

uint8_t SimulatedCard::SpaceB(uint16_t address) const {
    std::lock_guard lock(lock_);
    return spaceB_[address];
}

bool SimulatedCard::IsOpen() const {
    std::lock_guard lock(lock_);
    return open_;
}
