// The card feed's packet splitter on unaligned chunks against memcpy of the same bytes,
// and the CPU time of the card feed's own threads while a simulated card streams
// 80 Mbit/s through the filter to a sink.
#include <benchmark/benchmark.h>

#include <dirent.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/FilterToSink.h"
#include "feeds/pci/PacketSplitter.h"
#include "platform/devices/PacedCardStream.h"
#include "platform/devices/SimulatedCardBackend.h"
#include "tools/tsgen/TsGenerator.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Staging {
    std::vector<uint8_t> bytes;
    size_t fill = 0;
    static void Append(void* self, const uint8_t* first, size_t count, size_t stride) {
        auto* s = static_cast<Staging*>(self);
        if (stride == 188) {
            std::memcpy(s->bytes.data() + s->fill, first, count * 188);
        } else {
            for (size_t k = 0; k < count; ++k) std::memcpy(s->bytes.data() + s->fill + k * 188, first + k * stride, 188);
        }
        s->fill += count * 188;
    }
};

// Chunks as the card delivers them: up to 385,024 bytes, starting anywhere in a packet.
void BM_SplitterVersusMemcpy(benchmark::State& state) {
    constexpr size_t kPackets = 40'000;
    TsGeneratorOptions options;
    options.bitrate = 80'000'000;
    TsGenerator generator(options);
    std::vector<uint8_t> stream(kPackets * 188);
    generator.Generate(stream.data(), kPackets);
    std::vector<size_t> cuts;
    std::mt19937 rng(3);
    for (size_t at = 77; at < stream.size();) {
        cuts.push_back(at);
        at += 1 + rng() % 385'024;
    }
    cuts.push_back(stream.size());

    Staging staging;
    staging.bytes.resize(stream.size() + 188);
    std::vector<uint8_t> copy(stream.size());
    CPacketSplitter splitter;
    splitter.SetHandler(&staging, &Staging::Append);
    double splitSeconds = 0, copySeconds = 0;
    uint64_t bytes = 0;
    for (auto _ : state) {
        staging.fill = 0;
        auto t0 = Clock::now();
        for (size_t c = 0; c + 1 < cuts.size(); ++c)
            splitter.Run(stream.data() + cuts[c], cuts[c + 1] - cuts[c]);
        auto t1 = Clock::now();
        // The same chunks copied in place of being split.
        size_t out = 0;
        for (size_t c = 0; c + 1 < cuts.size(); ++c) {
            std::memcpy(copy.data() + out, stream.data() + cuts[c], cuts[c + 1] - cuts[c]);
            out += cuts[c + 1] - cuts[c];
        }
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
        auto t2 = Clock::now();
        splitSeconds += std::chrono::duration<double>(t1 - t0).count();
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        bytes += stream.size() - cuts[0];
        splitter.Reset();
    }
    state.counters["split_MBps"] = bytes / splitSeconds / 1e6;
    state.counters["memcpy_MBps"] = bytes / copySeconds / 1e6;
    state.counters["ratio_to_memcpy"] = copySeconds / splitSeconds;
}
BENCHMARK(BM_SplitterVersusMemcpy)->Unit(benchmark::kMillisecond);

// CPU nanoseconds a thread has run, by its name.
double ThreadCpuSeconds(const std::string& name) {
    double seconds = 0;
    DIR* dir = opendir("/proc/self/task");
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::string comm;
        std::getline(std::ifstream(task + "/comm"), comm);
        if (comm != name) continue;
        uint64_t ns = 0;
        std::ifstream(task + "/schedstat") >> ns;
        seconds += ns / 1e9;
    }
    closedir(dir);
    return seconds;
}

void BM_CardFeedCpuAt80Mbit(benchmark::State& state) {
    SimulatedCardDeclaration declared;
    declared.name = "QUARNOX0";
    declared.lockDelayMs = 0;
    declared.openStream = [](std::string* error) { return OpenPacedCardStream("", 80'000'000, 1, error); };
    SimulatedCardBackend::Instance().Declare(declared);
    const double seconds = 4;
    for (auto _ : state) {
        FilterToSink rig;
        rig.control->SetMode(kModeLiveFeed, "\\\\.\\QUARNOX0");
        rig.media->Run();
        // Past the filter queue's first lap (100 entries of 770,048 bytes at 10 MB/s), whose
        // first touch of each page is the queue's cost, not the feed's.
        std::this_thread::sleep_for(std::chrono::seconds(8));
        const uint64_t bytes0 = rig.bytes.load();
        const double cpu0 = ThreadCpuSeconds("PciCardStream") + ThreadCpuSeconds("PciCardDeliver");
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const double cpu1 = ThreadCpuSeconds("PciCardStream") + ThreadCpuSeconds("PciCardDeliver");
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const uint64_t bytes1 = rig.bytes.load();
        state.counters["Mbit_per_s"] = (bytes1 - bytes0) * 8 / wall / 1e6;
        state.counters["feed_cpu_percent"] = 100 * (cpu1 - cpu0) / wall;
    }
    SimulatedCardBackend::Instance().Remove("QUARNOX0");
}
BENCHMARK(BM_CardFeedCpuAt80Mbit)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
