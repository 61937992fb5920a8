#pragma once
// The feed contract, and all a plug-in library needs to build against: this folder
// includes nothing but itself and the standard library, and a plug-in links no library.
//
// Binary contract. The filter calls every feed, its own and a plug-in's, through the 25
// virtual slots of CFeed below, in this order, with these argument lists and field
// layout; separately built modules share them, so none of it may ever change. With this
// compiler's ABI the virtual destructor takes the last two vtable entries.
//
// A plug-in library is named "Plinth5.dll" and found through the normal library search
// (LD_LIBRARY_PATH, the runpath of the platform library, which is its own directory in
// an installed tree, then the system's). It exports one function, GetPlinthFeedObject
// (declare it with PLINTH_EXPORT, below). The filter's list-building thread calls it
// with device index 0, 1, 2, ... until it returns null or an object whose GetType is 0
// (that object is destroyed at once). Each filter object enumerates once; the library
// stays loaded for the life of the process, and every object it hands out is ended only
// through Destroy, so the library frees what it allocated.
//
// The filter calls slots 0, 2, 4, 5, 9, 10, 11, 13, 14 and 16, the enumerator 0 and 18;
// the others serve hosts that work with feed objects directly (dialogs, settings).
// Which thread calls what:
//   - GetType, GetName, GetDetails, Destroy: the filter's list-building thread, and
//     Destroy again on the thread that releases the filter.
//   - SetCallback, Start, Stop: the thread on which the graph changes state or the host
//     selects a feed. A new callback takes effect at the next delivery; with none set,
//     Deliver releases the sample itself. Start may come while the feed already runs (keep running, return
//     true); Stop may come while it is stopped, and may come from inside the data
//     callback, that is on the plug-in's own delivering thread: Stop must end delivery
//     without waiting for the plug-in's threads. Start may follow Stop again.
//   - Destroy may come while the feed runs, without Stop. It must stop the plug-in's
//     threads and wait for them before it returns: the library's code must not run on
//     after its objects are gone.
//   - Tune, GetStatus, GetSignalLevel, SendDiseqcMessage: host threads, at any time,
//     concurrently with delivery; keep what they share with the delivering thread atomic.
//   - GetStatus: bit 0x08 (kStatusLocked) means the signal is locked; other bits are the
//     feed's own. GetSignalLevel: 0 (none) to 65535 (full scale).
//   - GetErrorText: the filter and the host keep the returned pointer and read it later,
//     so the text must stay valid as long as the feed object lives (static or member
//     storage, never a temporary).
//
// Samples. A feed hands each filled IMediaSample to the data callback (Deliver does it)
// together with one reference, which the callee releases; the filter copies the data
// into its queue and releases the sample before the callback returns, another host may
// release it later and on another thread. A sample holds whole transport packets of
// GetPacketSize bytes (188 unless the feed says 192 or 204), each starting with 0x47,
// and its actual data length is a whole number of packets. The filter takes at most
// 770,048 bytes into one queue entry: keep samples at or below that (a larger one is
// split). There is no back-pressure: the callback never blocks, and when the filter's
// queue (100 entries) is full the data is dropped without a report, so deliver at the
// stream's own rate rather than in large bursts. FeedSamplePool.h gives a ready pool.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "FeedComTypes.h"

// Delivery of one filled sample: the feed hands over one reference, the callee releases it.
using DataCallback = void (*)(void* context, IMediaSample* sample);

// Feed type codes.
enum FeedType : int32_t {
    kFeedNone = 0,
    kFeedDvbS = 1,
    kFeedDvbC = 2,
    kFeedDvbT = 3,
    kFeedHostStream = 4,
    kFeedFile = 5,
    kFeedIptv = 6,
    kFeedDvbS2 = 7,
    kFeedDvbT2 = 8,
    kFeedDvbC2 = 9,
    kFeedSatIp = 10,
    kFeedAtsc = 11,
};

// Capability bits.
enum FeedCapability : uint32_t {
    kCapSatellite = 0x001,
    kCapCable = 0x002,
    kCapTerrestrial = 0x004,
    kCapFile = 0x010,
    kCapIpNetwork = 0x020,
    kCapDvbS2 = 0x040,
    kCapDvbT2 = 0x080,
    kCapDvbC2 = 0x100,
    kCapAtsc = 0x400,
};

constexpr uint8_t kStatusLocked = 0x08;

// Word 0 delivery system, 1 frequency, 2 symbol rate, 5 high band, 6 polarisation,
// 7 modulation, 8 bandwidth code; the others as each feed kind defines them.
struct TuningParameters {
    uint32_t word[15];
};
static_assert(sizeof(TuningParameters) == 60);

constexpr size_t kFeedTextSize = 100;

// The system tick count: milliseconds of the monotonic clock the platform's tick count
// reads, cut to 32 bits, so a plug-in's delivery times compare with the filter's.
inline uint32_t FeedTickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

class CFeed {
public:
    CFeed() = default;
    CFeed(const CFeed&) = delete;
    CFeed& operator=(const CFeed&) = delete;

    /* 0 */ virtual int32_t GetType() { return type_; }
    /* 1 */ virtual uint32_t GetCapabilities() { return capabilities_; }
    /* 2 */ virtual void* SetCallback(void* context, DataCallback callback) {
        callbackContext_.store(context, std::memory_order_relaxed);
        callback_.store(callback, std::memory_order_release);
        return context;
    }
    /* 3 */ virtual uint8_t GetPacketSize() { return packetSize_; }
    /* 4 */ virtual bool Start(int32_t param) = 0;
    /* 5 */ virtual void Stop() = 0;
    /* 6 */ virtual bool LoadSettings(const char* /*application*/) { return false; }
    /* 7 */ virtual bool SaveSettings(const char* /*application*/) { return false; }
    /* 8 */ virtual bool SupportsDeliveryDescriptor(const uint8_t* descriptor) = 0;
    /* 9 */ virtual bool Tune(const TuningParameters* params) = 0;
    /* 10 */ virtual uint8_t GetStatus() = 0;
    /* 11 */ virtual uint16_t GetSignalLevel() = 0;
    /* 12 */ virtual uint32_t GetReceptionValue() = 0;
    /* 13 */ virtual bool SendDiseqcMessage(const uint8_t* /*message*/, uint32_t /*length*/) { return false; }
    /* 14 */ virtual const char* GetName() { return name_; }
    /* 15 */ virtual const char* GetDescription() { return description_; }
    /* 16 */ virtual const char* GetDetails() { return details_; }
    /* 17 */ virtual bool GetHardwareAddress(uint8_t* address) {
        static constexpr uint8_t zero[6] = {};
        if (!address || std::memcmp(hardwareAddress_, zero, 6) == 0) return false;
        std::memcpy(address, hardwareAddress_, 6);
        return true;
    }
    /* 18 */ virtual void Destroy() { delete this; }
    /* 19 */ virtual bool HasConfigDialog() { return false; }
    /* 20 */ virtual bool ShowConfigDialog(HWND /*parent*/, const char* /*option*/, const uint8_t* /*descriptor*/) {
        return false;
    }
    /* 21 */ virtual void* GetExtension() { return nullptr; }
    // Milliseconds of the system tick count (a 32-bit count that wraps, in the low half).
    /* 22 */ virtual uint64_t GetLastDataTime() { return lastDeliveryTime_.load(std::memory_order_relaxed); }
    /* 23 */ virtual const char* GetErrorText() { return errorText_.load(std::memory_order_acquire); }
    /* 24 */ virtual ~CFeed() {
        callback_.store(nullptr, std::memory_order_relaxed);
        type_ = kFeedNone;
    }

protected:
    // Hands one filled sample on; the reference the caller holds goes with it.
    void Deliver(IMediaSample* sample) {
        lastDeliveryTime_.store(FeedTickCount(), std::memory_order_relaxed);
        DataCallback callback = callback_.load(std::memory_order_acquire);
        if (callback)
            callback(callbackContext_.load(std::memory_order_relaxed), sample);
        else
            sample->Release();
    }

    // Copies what fits of the text (null: none), always terminated.
    template <size_t N>
    static void SetText(char (&field)[N], const char* text) {
        size_t n = text ? std::strlen(text) : 0;
        if (n > N - 1) n = N - 1;
        if (n) std::memcpy(field, text, n);
        field[n] = '\0';
    }
    void SetErrorText(const char* text) { errorText_.store(text, std::memory_order_release); }

    std::atomic<uint64_t> lastDeliveryTime_{0};
    uint8_t packetSize_ = 188;
    int32_t type_ = kFeedNone;
    uint32_t capabilities_ = 0;
    std::atomic<DataCallback> callback_{nullptr};
    std::atomic<void*> callbackContext_{nullptr};
    char name_[kFeedTextSize] = {};
    char description_[kFeedTextSize] = {};
    char details_[kFeedTextSize] = {};
    uint8_t hardwareAddress_[6] = {};
    std::atomic<const char*> errorText_{nullptr};
};

// Destroying through the object's own code, so a plug-in frees what it allocated;
// a null object is ignored.
inline void DestroyFeed(CFeed* feed) {
    if (feed) feed->Destroy();
}

// The plug-in library's entry point: the feed object for a device index, or null.
using PlinthFeedObjectFunction = CFeed* (*)(uint32_t deviceIndex);
constexpr const char* kPlinthLibraryName = "Plinth5.dll";
constexpr const char* kPlinthEntryPoint = "GetPlinthFeedObject";

// Unmangled and visible even when a plug-in builds with hidden visibility:
//   PLINTH_EXPORT CFeed* GetPlinthFeedObject(uint32_t deviceIndex) { ... }
#define PLINTH_EXPORT extern "C" __attribute__((visibility("default")))
PLINTH_EXPORT CFeed* GetPlinthFeedObject(uint32_t deviceIndex);
