// Throughput of the host-supplied path (DeliverBuffer -> queue -> "TS Out" worker ->
// sink) against a plain memcpy of the same sizes, and the process's resident memory.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/FilterToSink.h"
#include "filter/SampleQueue.h"
#include "platform/system/Semaphore.h"

namespace {

constexpr size_t kBufferSize = CSampleQueue::kEntrySize;

double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

struct HostPath : FilterToSink {
    Semaphore window{32, 32};
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kBufferSize, 0x47);
    uint64_t pushed = 0;

    HostPath() {
        control->SetMode(kModeHostSupplied, nullptr);
        control->SetDataCallback(this, [](void* ctx, const uint8_t*, int32_t) {
            static_cast<HostPath*>(ctx)->window.Release(1);
        });
    }
    ~HostPath() { control->SetDataCallback(nullptr, nullptr); }
    void Push() {
        window.Wait(INFINITE);
        input->DeliverBuffer(buffer.data(), static_cast<uint32_t>(buffer.size()));
        pushed += buffer.size();
    }
    void Drain() {
        while (bytes.load() < pushed) std::this_thread::yield();
    }
};

void BM_Memcpy(benchmark::State& state) {
    std::vector<uint8_t> from(kBufferSize, 1), to(kBufferSize, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBufferSize);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBufferSize));
}
BENCHMARK(BM_Memcpy)->UseRealTime();

// The same copies into a ring as large as the filter's queue, so that the destination
// is as cold as the queue's entries are.
void BM_MemcpyIntoQueueSizedRing(benchmark::State& state) {
    std::vector<uint8_t> from(kBufferSize, 1);
    std::vector<uint8_t> ring(size_t(CSampleQueue::kEntries) * kBufferSize, 2);
    size_t slot = 0;
    for (auto _ : state) {
        std::memcpy(ring.data() + slot * kBufferSize, from.data(), kBufferSize);
        slot = (slot + 1) % CSampleQueue::kEntries;
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBufferSize));
}
BENCHMARK(BM_MemcpyIntoQueueSizedRing)->UseRealTime();

void BM_HostSuppliedPath(benchmark::State& state) {
    HostPath path;
    path.media->Run();
    for (auto _ : state) path.Push();
    path.Drain();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBufferSize));
}
BENCHMARK(BM_HostSuppliedPath)->UseRealTime();

// One run: resident memory after creating the filter and after ten seconds of streaming.
void BM_ResidentMemory(benchmark::State& state) {
    for (auto _ : state) {
        double before = ResidentMiB();
        HostPath path;
        double created = ResidentMiB();
        path.media->Run();
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) path.Push();
        path.Drain();
        double streamed = ResidentMiB();
        state.counters["rss_before_MiB"] = before;
        state.counters["rss_after_create_MiB"] = created;
        state.counters["rss_after_10s_MiB"] = streamed;
        state.counters["streamed_GiB"] = double(path.pushed) / (1ull << 30);
    }
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
