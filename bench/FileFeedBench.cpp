// File playback through the filter: paced accuracy and CPU cost, the PCR measurement,
// and unpaced throughput.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "feeds/file/FileFeed.h"
#include "feeds/file/StreamAnalysis.h"
#include "bench/FilterToSink.h"
#include "tools/tsgen/TsGenerator.h"

namespace {

namespace fs = std::filesystem;

std::string MakeStream(const std::string& name, uint32_t bitrate, double seconds) {
    fs::path path = fs::temp_directory_path() / name;
    if (fs::exists(path)) return path.string();
    TsGeneratorOptions options;
    options.bitrate = bitrate;
    options.packetLimit = TsGenerator::PacketsForDuration(bitrate, uint64_t(seconds * 1000), 188);
    TsGenerator generator(options);
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> block(188 * 4096);
    for (size_t n; (n = generator.Generate(block.data(), 4096)) > 0;)
        out.write(reinterpret_cast<char*>(block.data()), std::streamsize(n * 188));
    return path.string();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_PacedPlayback38Mbit(benchmark::State& state) {
    const std::string file = MakeStream("kestrel-bench-38.ts", 38'000'000, 12);
    const uint32_t bitrate = MeasureFileBitrate(std::u16string(file.begin(), file.end()).c_str());
    for (auto _ : state) {
        FilterToSink rig;
        double cpu0 = CpuSeconds();
        rig.control->SetMode(kModeFile, (file + ":LOOP:").c_str());
        rig.media->Run();
        auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        uint64_t bytes = rig.bytes.load();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double cpu = CpuSeconds() - cpu0;
        double rate = bytes * 8 / seconds;
        state.counters["file_bitrate"] = bitrate;
        state.counters["delivered_bitrate"] = rate;
        state.counters["rate_error_percent"] = (rate - bitrate) * 100.0 / bitrate;
        state.counters["cpu_percent_of_core"] = cpu * 100.0 / seconds;
    }
}
BENCHMARK(BM_PacedPlayback38Mbit)->Iterations(1)->Unit(benchmark::kSecond);

void BM_MeasureFileBitrate20MB(benchmark::State& state) {
    const std::string file = MakeStream("kestrel-bench-20mb.ts", 16'000'000, 10);  // 20 MB
    const std::u16string wide(file.begin(), file.end());
    uint32_t bitrate = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bitrate = MeasureFileBitrate(wide.c_str()));
    state.counters["bitrate"] = bitrate;
    state.counters["file_MB"] = double(fs::file_size(file)) / 1e6;
}
BENCHMARK(BM_MeasureFileBitrate20MB)->Unit(benchmark::kMillisecond);

// The file feed without pacing, its samples pushed into the filter as a host would.
void BM_UnpacedPlayback(benchmark::State& state) {
    const std::string file = MakeStream("kestrel-bench-38.ts", 38'000'000, 12);
    for (auto _ : state) {
        FilterToSink rig;
        rig.control->SetMode(kModeHostSupplied, nullptr);
        rig.media->Run();
        CFileFeed feed;
        feed.SetFileName((file + ":LOOP:").c_str());
        feed.SetBitrateLock(false);
        feed.SetCallback(rig.input.Get(), [](void* context, IMediaSample* sample) {
            static_cast<ITSFeedSampleInput*>(context)->DeliverSample(sample);
            sample->Release();
        });
        feed.Start(0);
        auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        uint64_t bytes = rig.bytes.load();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        feed.Stop();
        state.counters["delivered_MBps"] = bytes / seconds / 1e6;
    }
}
BENCHMARK(BM_UnpacedPlayback)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
