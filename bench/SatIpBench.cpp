// The SAT>IP feed against the server simulator, in a network namespace of its own:
// the time from Start to the first bytes at "TS Out" per delivery mode, and the
// highest RTP rate received without loss for 10 s with the receiver's CPU time.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "bench/FilterToSink.h"
#include "feeds/satip/SATIPFeed.h"
#include "net/NetTrace.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/NetNamespace.h"

namespace {

using Clock = std::chrono::steady_clock;

void Quiet(void*, std::string_view) {}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void PushIntoFilter(void* context, IMediaSample* sample) {
    static_cast<ITSFeedSampleInput*>(context)->DeliverSample(sample);
    sample->Release();
}

std::string SimProgram() {
    const char* bin = std::getenv("KESTREL_BENCH_BIN");
    return std::string(bin ? bin : ".") + "/satip-sim";
}

// The namespace, the simulator in it, and a feed with the simulator's address chosen.
struct Rig {
    NetNamespace ns{"bench-satip"};
    std::unique_ptr<ChildProcess> sim;
    std::unique_ptr<CSATIPFeed> feed;

    bool Up(const std::string& simArgs, uint32_t mode) {
        SetNetTraceSink(&Quiet, nullptr);
        if (!ns.Created() || !ns.In("link add ksb type veth peer name ksc") || !ns.In("link set ksb up") ||
            !ns.In("link set ksc up") || !ns.In("addr add 10.230.0.1/24 dev ksb") || !ns.In("route add 224.0.0.0/4 dev ksb"))
            return false;
        sim = std::make_unique<ChildProcess>("ip netns exec " + ns.Name() + " " + SimProgram() +
                                                 " --quiet --interface ksb --address 10.230.0.1 " + simArgs,
                                             "/dev/null");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ns.Run([&] { feed = std::make_unique<CSATIPFeed>(nullptr); });
        SatIpSettings s = feed->Settings();
        s.manualSelect = 1;
        s.manualAddress = MakeIPv4Address(0x0AE60001, 0);
        s.deliveryMode = mode;
        s.NoPIDAllWarning = 1;
        feed->SetSettings(s);
        return true;
    }
    bool Start() {
        bool started = false;
        ns.Run([&] { started = feed->Start(0); });
        return started;
    }
    ~Rig() {
        if (feed) ns.Run([&] { feed.reset(); });
    }
};

void BM_SatIpStartToFirstSample(benchmark::State& state) {
    const auto mode = static_cast<uint32_t>(state.range(0));
    Rig rig;
    if (!rig.Up("", mode)) {
        state.SkipWithError("no network namespace (needs root)");
        return;
    }
    for (auto _ : state) {
        FilterToSink sink;
        sink.control->SetMode(kModeHostSupplied, nullptr);
        sink.media->Run();
        rig.feed->SetCallback(sink.input.Get(), &PushIntoFilter);
        const auto begin = Clock::now();
        if (!rig.Start()) {
            state.SkipWithError(rig.feed->GetErrorText() ? rig.feed->GetErrorText() : "no start");
            break;
        }
        while (sink.bytes.load() == 0 && Clock::now() - begin < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
        rig.feed->Stop();
        rig.feed->SetCallback(nullptr, nullptr);
    }
}
BENCHMARK(BM_SatIpStartToFirstSample)
    ->ArgName("mode")
    ->Arg(kSatIpDeliveryHttp)
    ->Arg(kSatIpDeliveryRtspUnicast)
    ->Arg(kSatIpDeliveryRtspMulticast)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_SatIpRtpRate(benchmark::State& state) {
    const int megabits = static_cast<int>(state.range(0));
    constexpr double kSeconds = 10;
    for (auto _ : state) {
        Rig rig;
        if (!rig.Up("--bitrate " + std::to_string(megabits) + "M", kSatIpDeliveryRtspUnicast)) {
            state.SkipWithError("no network namespace (needs root)");
            break;
        }
        FilterToSink sink;
        sink.control->SetMode(kModeHostSupplied, nullptr);
        sink.media->Run();
        rig.feed->SetCallback(sink.input.Get(), &PushIntoFilter);
        const double cpu0 = ProcessCpuSeconds();
        if (!rig.Start()) {
            state.SkipWithError("no start");
            break;
        }
        const auto begin = Clock::now();
        while (Clock::now() - begin < std::chrono::duration<double>(kSeconds)) {
            rig.feed->GetStatus();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const double cpu = ProcessCpuSeconds() - cpu0;
        const uint64_t lost = rig.feed->RtpLost();
        rig.feed->Stop();
        const double receivedMbit = sink.bytes.load() * 8 / 1e6;
        state.counters["offered_Mbps"] = megabits;
        state.counters["received_Mbps"] = receivedMbit / kSeconds;
        state.counters["rtp_lost_datagrams"] = double(lost);
        state.counters["cpu_ms_per_Mbit"] = receivedMbit > 0 ? cpu * 1000 / receivedMbit : 0;
    }
}
BENCHMARK(BM_SatIpRtpRate)->Arg(100)->Arg(200)->Arg(400)->Arg(600)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
BENCHMARK_MAIN();
