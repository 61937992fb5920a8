#include "PlinthDevice.h"

#include <chrono>
#include <cstdio>
#include <new>

namespace {
constexpr uint32_t kPacketsPerSample = 348;  // about 64 KiB per delivery
constexpr uint32_t kSampleBuffers = 16;
constexpr auto kTick = std::chrono::milliseconds(20);
constexpr const char* kAllocatorFailed = "The device could not reserve its sample buffers";

struct DeviceModel {
    int32_t type;
    uint32_t capabilities;
    uint32_t bitrate;
    const char* name;
    uint8_t address[6];
};

constexpr DeviceModel kDevices[] = {
    {kFeedDvbS, kCapSatellite, 4'000'000, "Plinth Demo Satellite", {0x02, 0x50, 0x4C, 0x4E, 0x00, 0x01}},
    {kFeedDvbT, kCapTerrestrial, 8'000'000, "Plinth Demo Terrestrial", {}},
};
}  // namespace

CPlinthDevice* CPlinthDevice::Create(uint32_t index) {
    if (index >= sizeof kDevices / sizeof kDevices[0]) return nullptr;
    const DeviceModel& model = kDevices[index];
    auto* device = new (std::nothrow) CPlinthDevice(index, model.type, model.bitrate);
    if (!device) return nullptr;
    device->capabilities_ = model.capabilities;
    device->SetText(device->name_, model.name);
    std::memcpy(device->hardwareAddress_, model.address, 6);
    return device;
}

CPlinthDevice::CPlinthDevice(uint32_t index, int32_t type, uint32_t bitrate) : bitrate_(bitrate) {
    type_ = type;
    char text[kFeedTextSize];
    std::snprintf(text, sizeof text, "Example plug-in device %u", index);
    SetText(description_, text);
    std::snprintf(text, sizeof text, "generated stream, %u bit/s", bitrate);
    SetText(details_, text);
}

CPlinthDevice::~CPlinthDevice() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

bool CPlinthDevice::Start(int32_t /*param*/) {
    if (running_.load()) return true;
    // A thread that a Stop from inside the callback told to end, not waited for there.
    if (thread_.joinable()) thread_.join();
    if (!pool_.BufferSize() && !pool_.Reserve(kSampleBuffers, kPacketsPerSample * 188)) {
        SetErrorText(kAllocatorFailed);
        return false;
    }
    running_.store(true);
    thread_ = std::thread([this] { Run(); });
    return true;
}

// Only tells the thread to end: Stop may run on that thread, inside the data callback.
void CPlinthDevice::Stop() { running_.store(false); }

void CPlinthDevice::Run() {
    TsGeneratorOptions options;
    options.bitrate = bitrate_;
    TsGenerator generator(options);
    const auto begin = std::chrono::steady_clock::now();
    uint64_t sent = 0;
    while (running_.load()) {
        auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
        uint64_t due = uint64_t(elapsed.count()) * bitrate_ / 8 / 188 / 1'000'000;
        while (sent < due && running_.load()) {
            // Every sample out with a holder: the stream goes on, as a tuner's would.
            IMediaSample* sample = pool_.Acquire();
            uint64_t packets = due - sent < kPacketsPerSample ? due - sent : kPacketsPerSample;
            sent += packets;
            if (!sample) continue;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            generator.Generate(data, packets);
            sample->SetActualDataLength(static_cast<LONG>(packets * 188));
            Deliver(sample);
        }
        std::this_thread::sleep_for(kTick);
    }
}

bool CPlinthDevice::SupportsDeliveryDescriptor(const uint8_t* descriptor) {
    if (!descriptor) return false;
    switch (type_) {
        case kFeedDvbS: case kFeedDvbS2: return descriptor[0] == 0x43;
        case kFeedDvbC: case kFeedDvbC2: return descriptor[0] == 0x44;
        case kFeedDvbT: case kFeedDvbT2: return descriptor[0] == 0x5A;
        default: return false;
    }
}

bool CPlinthDevice::Tune(const TuningParameters* params) {
    if (!params || static_cast<int32_t>(params->word[0]) != type_) return false;
    tuning_ = *params;
    return true;
}

uint8_t CPlinthDevice::GetStatus() { return running_.load() ? kStatusLocked : 0; }

uint16_t CPlinthDevice::GetSignalLevel() { return running_.load() ? 52000 : 0; }

uint32_t CPlinthDevice::GetReceptionValue() { return 0; }
