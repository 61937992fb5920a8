#include "tests/filter/countingplugin/CountingPlugin.h"

#include <cstring>
#include <mutex>
#include <new>

#include "feeds/sdk/Feed.h"
#include "feeds/sdk/FeedSamplePool.h"

namespace {

constexpr int kGenerations = 64;
CountingFeedState g_states[kGenerations][kCountingDevices];
std::atomic<int> g_generation{-1};
std::atomic<int> g_live{0};
std::mutex g_lock;

class CountingFeed;
CountingFeed* g_newest[kCountingDevices] = {};

class CountingFeed : public CFeed {
public:
    CountingFeed(int device, CountingFeedState* state) : device_(device), state_(state) {
        static constexpr const char* kNames[] = {"Counting Feed A", "Counting Feed B", "Counting File"};
        static constexpr const char* kDetails[] = {"first counting device", "second counting device",
                                                   "a plug-in's file device"};
        type_ = device == 2 ? kFeedFile : kFeedDvbS;
        capabilities_ = device == 2 ? kCapFile : kCapSatellite;
        SetText(name_, kNames[device]);
        SetText(details_, kDetails[device]);
        state_->alive = true;
        g_live++;
        pool_.Reserve(4, kCountingSampleLimit);
    }
    ~CountingFeed() override {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_newest[device_] == this) g_newest[device_] = nullptr;
        state_->alive = false;
        g_live--;
    }
    bool Start(int32_t) override {
        state_->starts++;
        state_->running = true;
        return true;
    }
    void Stop() override {
        state_->stops++;
        state_->running = false;
    }
    bool SupportsDeliveryDescriptor(const uint8_t* d) override { return d && d[0] == 0x43; }
    bool Tune(const TuningParameters*) override {
        state_->tunes++;
        return state_->tuneResult.load();
    }
    uint8_t GetStatus() override { return state_->status.load(); }
    uint16_t GetSignalLevel() override { return state_->signal.load(); }
    uint32_t GetReceptionValue() override { return 0; }
    void* GetExtension() override { return state_; }
    bool SendDiseqcMessage(const uint8_t*, uint32_t) override {
        state_->diseqc++;
        return true;
    }

    bool DeliverNow(int samples, uint32_t bytes) {
        if (bytes > kCountingSampleLimit) return false;
        for (int i = 0; i < samples; ++i) {
            IMediaSample* sample = pool_.Acquire();
            if (!sample) return false;
            BYTE* p = nullptr;
            sample->GetPointer(&p);
            std::memset(p, i & 0xFF, bytes);
            for (uint32_t off = 0; off < bytes; off += 188) p[off] = 0x47;
            sample->SetActualDataLength(long(bytes));
            Deliver(sample);
        }
        return true;
    }

private:
    int device_;
    CountingFeedState* state_;
    CFeedSamplePool pool_;
};

CountingFeedState* State(int device, int generation) {
    if (device < 0 || device >= kCountingDevices || generation < 0 || generation >= kGenerations) return nullptr;
    return &g_states[generation][device];
}

int LiveObjects() { return g_live.load(); }

bool DeliverFrom(int device, int samples, uint32_t bytes) {
    CountingFeed* feed;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        feed = device >= 0 && device < kCountingDevices ? g_newest[device] : nullptr;
    }
    return feed && feed->DeliverNow(samples, bytes);
}

int Generations() { return g_generation.load() + 1; }

CountingPluginControl g_control{&State, &LiveObjects, &DeliverFrom, &Generations};

}  // namespace

extern "C" __attribute__((visibility("default"))) CFeed* GetPlinthFeedObject(uint32_t index) {
    if (index >= kCountingDevices) return nullptr;
    int generation = index == 0 ? ++g_generation : g_generation.load();
    if (generation >= kGenerations) return nullptr;
    CountingFeedState* state = &g_states[generation][index];
    auto* feed = new (std::nothrow) CountingFeed(static_cast<int>(index), state);
    std::lock_guard<std::mutex> guard(g_lock);
    g_newest[index] = feed;
    return feed;
}

extern "C" __attribute__((visibility("default"))) CountingPluginControl* GetCountingPluginControl() {
    return &g_control;
}
