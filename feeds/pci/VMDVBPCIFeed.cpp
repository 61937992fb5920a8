#include "feeds/pci/VMDVBPCIFeed.h"

#include <cstdio>
#include <cstring>

#include "feeds/DeliveryDescriptor.h"
#include "feeds/pci/CardRequest.h"
#include "feeds/pci/DvbCDialog.h"
#include "feeds/pci/DvbSDialog.h"
#include "feeds/pci/DvbTDialog.h"
#include "platform/system/Tick.h"

namespace {

constexpr const char* kDevicePathFormat = "\\\\.\\QUARNOX%u";
constexpr const char* kDetailsFormat = "Velmar SAA7146 DVB Card %u (Driver %s)";
constexpr const char* kStreamThreadName = "PciCardStream";
constexpr const char* kDeliveryThreadName = "PciCardDeliver";
constexpr const char* kNoBuffersText = "Out of memory for the card buffers";
constexpr const char* kNoThreadText = "Unable to start the card's streaming thread";
constexpr const char* kReadFailedText = "The card does not deliver: its driver refuses to read the stream";

constexpr uint32_t kIdleSleepMs = 500;
constexpr uint32_t kNoBufferSleepMs = 100;
// After a refused read: a vanished card must not keep this thread spinning.
constexpr uint32_t kReadFailureSleepMs = 100;
constexpr DWORD kStatusPauseMs = 1;
constexpr DWORD kVersionBytes = 100;
constexpr DWORD kTuneBytes = sizeof(TuningParameters);

struct TunerRow {
    uint32_t type;
    const char* text;
    uint32_t capabilities;
};
constexpr TunerRow kTuners[] = {
    {1, "Tuner: DVB-S Alps BSRV2", kCapSatellite},
    {2, "Tuner: DVB-S Alps BSRU6", kCapSatellite},
    {3, "Tuner: DVB-C Alps TDBE2", kCapCable},
    {4, "Tuner: DVB-T Grundig / L64781", kCapTerrestrial},
    {5, "Tuner: DVB-T TDA10045", kCapTerrestrial},
    {6, "Tuner: Twinhan generic", 0},
    {11, "Tuner: DVB-S KNC new", kCapSatellite},
    {12, "Tuner: DVB-S2 STB0899", kCapSatellite | kCapDvbS2},
};
constexpr const char* kUnknownTunerText = "Tuner: unknown or no tuner detected";

}  // namespace

CVMDVBPCIFeed::CVMDVBPCIFeed(uint32_t cardIndex)
    : pump_({kAllocatorName, kBufferCount, kReadSize, kStreamThreadName, kDeliveryThreadName, 0, 0,
             ThreadPriority::TimeCritical},
            {[this](IMediaSample* sample) { Deliver(sample); }, {}, {}}) {
    record_.word[1] = kDefaultFrequency;
    record_.word[2] = kDefaultSymbolRate;
    record_.word[5] = 1;
    char path[kFeedTextSize];
    std::snprintf(path, sizeof path, kDevicePathFormat, cardIndex);
    SetText(name_, path);

    device_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (device_ == INVALID_HANDLE_VALUE) return;

    Request(kCardDriverVersion, nullptr, 0, driverVersion_, kVersionBytes);
    driverVersion_[kFeedTextSize - 1] = '\0';
    Request(kCardInformation, nullptr, 0, cardInformation_, sizeof cardInformation_);
    uint32_t word[2];
    std::memcpy(word, cardInformation_, sizeof word);
    type_ = static_cast<int32_t>(word[0]);

    const char* tunerText = kUnknownTunerText;
    for (const TunerRow& row : kTuners)
        if (row.type == word[1]) {
            tunerText = row.text;
            capabilities_ |= row.capabilities;
        }
    SetText(description_, tunerText);

    char details[kFeedTextSize * 2];
    std::snprintf(details, sizeof details, kDetailsFormat, cardIndex, driverVersion_);
    SetText(details_, details);

    staging_.resize(kStagingSize);
    splitter_.SetHandler(this, &CVMDVBPCIFeed::AppendPackets);
}

CVMDVBPCIFeed::~CVMDVBPCIFeed() {
    {
        std::lock_guard control(control_);
        pump_.RequestStop();
    }
    // Every read completes within the driver's latency, so the wait ends; the handle
    // is closed only once the streaming thread cannot use it any more.
    pump_.Join();
    if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
}

bool CVMDVBPCIFeed::Request(DWORD code, const void* input, DWORD inputLength, void* output, DWORD outputLength,
                            DWORD* returned) {
    return DeviceRequest(device_, code, input, inputLength, output, outputLength, returned);
}

bool CVMDVBPCIFeed::Start(int32_t /*unused*/) {
    SetErrorText(nullptr);
    if (type_ == kFeedNone) return false;
    std::lock_guard control(control_);
    if (switchOffPending_) {
        Request(kCardSwitchOff, nullptr, 0, nullptr, 0);
        switchOffPending_ = false;
    }
    streaming_.store(true, std::memory_order_release);
    if (threadStarted_) return true;
    const CFeedPump::StartResult started = pump_.Start([this] { StreamLoop(); });
    if (started != CFeedPump::StartResult::Started) {
        streaming_.store(false, std::memory_order_release);
        SetErrorText(started == CFeedPump::StartResult::NoBuffers ? kNoBuffersText : kNoThreadText);
        return false;
    }
    threadStarted_ = true;
    return true;
}

void CVMDVBPCIFeed::Stop() {
    if (type_ != kFeedNone) streaming_.store(false, std::memory_order_release);
}

bool CVMDVBPCIFeed::LoadSettings(const char* application) {
    application_ = application ? application : "";
    return true;
}

bool CVMDVBPCIFeed::SaveSettings(const char* /*application*/) { return true; }

bool CVMDVBPCIFeed::SupportsDeliveryDescriptor(const uint8_t* descriptor) {
    return descriptor && DeliveryTagSuits(static_cast<uint32_t>(type_), descriptor[0]);
}

void CVMDVBPCIFeed::SetDialogMirrors(uint32_t frequency, uint32_t symbolRate, bool vertical) {
    dialogFrequency_ = frequency;
    dialogSymbolRate_ = symbolRate;
    dialogVertical_ = vertical;
}

bool CVMDVBPCIFeed::Tune(const TuningParameters* params) {
    if (type_ == kFeedNone || !params) return false;
    discardNext_.store(true, std::memory_order_release);
    const TuningParameters given = *params;  // the caller's record may be the feed's own
    SetDialogMirrors(given.word[1], given.word[2], given.word[6] != 0);
    record_ = given;
    DWORD returned = 0;
    std::lock_guard lock(deviceLock_);
    // The caller's record is read-only here: what the driver writes back lands in the feed's.
    Request(kCardTune, &given, kTuneBytes, &record_, kTuneBytes, &returned);
    return returned > 0;
}

uint8_t CVMDVBPCIFeed::GetStatus() {
    if (type_ == kFeedNone) return 0;
    Sleep(kStatusPauseMs);
    uint8_t in = 0, status = 0;
    std::lock_guard lock(deviceLock_);
    Request(kCardReadStatus, &in, 1, &status, 1);
    return status;
}

uint16_t CVMDVBPCIFeed::GetSignalLevel() {
    if (type_ == kFeedNone) return 0;
    uint16_t in = 0, level = 0;
    std::lock_guard lock(deviceLock_);
    if (!Request(kCardSignalLevel, &in, 2, &level, 2)) return 0;
    return level;
}

uint32_t CVMDVBPCIFeed::GetReceptionValue() {
    if (type_ == kFeedNone) return 0;
    uint32_t in = 0, value = 0;
    std::lock_guard lock(deviceLock_);
    if (!Request(kCardReceptionValue, &in, 4, &value, 4)) return 0;
    return value;
}

bool CVMDVBPCIFeed::SendDiseqcMessage(const uint8_t* message, uint32_t length) {
    if (!message) return false;
    return Request(kCardDiseqcMessage, message, length, nullptr, 0);
}

bool CVMDVBPCIFeed::ShowConfigDialog(HWND owner, const char* /*option*/, const uint8_t* descriptor) {
    if (descriptor) {
        // The decoding reads the delivery system from word 0, which this feed's record
        // leaves as the caller set it.
        TuningParameters decoded = record_;
        decoded.word[0] = static_cast<uint32_t>(type_);
        if (DecodeDeliveryDescriptor(descriptor, decoded)) {
            decoded.word[0] = record_.word[0];
            record_ = decoded;
            SetDialogMirrors(record_.word[1], record_.word[2], record_.word[6] != 0);
        }
    }
    switch (type_) {
    case kFeedDvbS:
    case kFeedDvbS2: return CDvbSDialog(this).DoModal(owner) > 0;
    case kFeedDvbC:
    case kFeedDvbC2: return CDvbCDialog(this).DoModal(owner) > 0;
    case kFeedDvbT:
    case kFeedDvbT2: return CDvbTDialog(this).DoModal(owner) > 0;
    default: return false;
    }
}

bool CVMDVBPCIFeed::IsPresent() {
    uint8_t present = 0;
    if (!Request(kCardExtensionPresent, nullptr, 0, &present, 1)) return false;
    return present != 0;
}

uint8_t CVMDVBPCIFeed::ReadA(uint16_t address) {
    const uint8_t in[2] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
    uint8_t value = 0xFF;
    Request(kCardReadSpaceA, in, 2, &value, 1);
    return value;
}

uint8_t CVMDVBPCIFeed::ReadB(uint16_t address) {
    const uint8_t in[2] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
    uint8_t value = 0xFF;
    Request(kCardReadSpaceB, in, 2, &value, 1);
    return value;
}

void CVMDVBPCIFeed::WriteA(uint16_t address, uint8_t value) {
    const uint8_t in[3] = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), value};
    Request(kCardWriteSpaceA, in, 3, nullptr, 0);
}

void CVMDVBPCIFeed::WriteB(uint16_t address, uint8_t value) {
    const uint8_t in[3] = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), value};
    Request(kCardWriteSpaceB, in, 3, nullptr, 0);
}

void CVMDVBPCIFeed::SetSwitch(bool on) {
    std::lock_guard control(control_);
    if (switchOffPending_) return;
    Request(on ? kCardSwitchOn : kCardSwitchOff, nullptr, 0, nullptr, 0);
}

void CVMDVBPCIFeed::Reset() { Request(kCardExtensionReset, nullptr, 0, nullptr, 0); }

void CVMDVBPCIFeed::AppendPackets(void* context, const uint8_t* first, size_t count, size_t stride) {
    auto* self = static_cast<CVMDVBPCIFeed*>(context);
    constexpr size_t P = CPacketSplitter::kPacketSize;
    if (count > (self->staging_.size() - self->stagingFill_) / P) count = (self->staging_.size() - self->stagingFill_) / P;
    uint8_t* out = self->staging_.data() + self->stagingFill_;
    if (stride == P) {
        std::memcpy(out, first, count * P);
    } else {
        for (size_t k = 0; k < count; ++k) std::memcpy(out + k * P, first + k * stride, P);
    }
    self->stagingFill_ += count * P;
}

void CVMDVBPCIFeed::StreamLoop() {
    while (!pump_.StopRequested()) {
        if (!streaming_.load(std::memory_order_acquire)) {
            pump_.WaitForStop(kIdleSleepMs);
            continue;
        }
        IMediaSample* sample = pump_.GetBuffer();
        if (!sample) {
            pump_.WaitForStop(kNoBufferSleepMs);
            continue;
        }
        if (!callback_.load(std::memory_order_acquire)) {
            // Nobody listens: the card is left alone rather than read in a tight loop.
            sample->Release();
            pump_.WaitForStop(kNoBufferSleepMs);
            continue;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        sample->SetActualDataLength(kReadSize);
        DWORD bytes = 0;
        const bool read = Request(kCardReadStream, nullptr, 0, data, kReadSize, &bytes);
        lastDeliveryTime_.store(GetTickCount(), std::memory_order_relaxed);

        stagingFill_ = 0;
        splitter_.Run(data, read ? bytes : 0, CPacketSplitter::kPacketSize);
        std::memcpy(data, staging_.data(), stagingFill_);
        sample->SetActualDataLength(static_cast<long>(stagingFill_));

        if (discardNext_.exchange(false, std::memory_order_acq_rel) || stagingFill_ == 0 ||
            !callback_.load(std::memory_order_acquire)) {
            sample->Release();
        } else {
            pump_.Push(sample);
        }
        if (!read) {
            SetErrorText(kReadFailedText);
            pump_.WaitForStop(kReadFailureSleepMs);
        } else if (bytes > 0 && GetErrorText() == kReadFailedText) {
            SetErrorText(nullptr);
        }
    }
}
