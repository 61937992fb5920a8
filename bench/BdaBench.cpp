// A BDA feed on a simulated tuner that locks at once, delivering through the filter:
// the time from Start to the first bytes at "TS Out", and the CPU share of streaming
// 60 Mbit/s through the private tuner graph and the filter.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "bench/FilterToSink.h"
#include "feeds/bda/BDAFeed.h"
#include "platform/bda/BdaSimulation.h"

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void PushIntoFilter(void* context, IMediaSample* sample) {
    static_cast<ITSFeedSampleInput*>(context)->DeliverSample(sample);
    sample->Release();
}

void DeclareTuner(uint32_t bitrate) {
    BdaDeclaration d;
    SimTunerDeclaration tuner;
    tuner.friendlyName = "Bench DVB-T";
    tuner.network = BdaNetwork::DVBT;
    tuner.lockDelayMs = 0;
    tuner.stream.bitrate = bitrate;
    d.tuners = {tuner};
    d.tuningSpaces = {{"Terrestrial", BdaNetwork::DVBT}};
    BdaSimulation::Declare(d);
    RegisterBdaClasses();
}

void BM_BdaStartToFirstSampleAtTsOut(benchmark::State& state) {
    DeclareTuner(8'000'000);
    FilterToSink rig;
    rig.control->SetMode(kModeHostSupplied, nullptr);
    rig.media->Run();
    CBDAFeed feed(0);
    feed.SetCallback(rig.input.Get(), &PushIntoFilter);
    for (auto _ : state) {
        const uint64_t before = rig.bytes.load();
        const auto start = std::chrono::steady_clock::now();
        if (!feed.Start(0)) {
            state.SkipWithError(feed.GetErrorText());
            break;
        }
        while (rig.bytes.load() == before) std::this_thread::yield();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        feed.Stop();
    }
    BdaSimulation::Reset();
}
BENCHMARK(BM_BdaStartToFirstSampleAtTsOut)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_BdaStreamingCpuAt60Mbps(benchmark::State& state) {
    constexpr uint32_t kBitrate = 60'000'000;
    constexpr double kSeconds = 5;
    DeclareTuner(kBitrate);
    for (auto _ : state) {
        FilterToSink rig;
        rig.control->SetMode(kModeHostSupplied, nullptr);
        rig.media->Run();
        CBDAFeed feed(0);
        feed.SetCallback(rig.input.Get(), &PushIntoFilter);
        if (!feed.Start(0)) {
            state.SkipWithError(feed.GetErrorText());
            break;
        }
        while (rig.bytes.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const double cpu0 = ProcessCpuSeconds();
        const uint64_t bytes0 = rig.bytes.load();
        const auto wall0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        const double cpu = ProcessCpuSeconds() - cpu0;
        const uint64_t bytes = rig.bytes.load() - bytes0;
        feed.Stop();
        state.counters["delivered_Mbps"] = double(bytes) * 8 / 1e6 / wall;
        state.counters["cpu_percent_of_one_core"] = 100 * cpu / wall;
    }
    BdaSimulation::Reset();
}
BENCHMARK(BM_BdaStreamingCpuAt60Mbps)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
