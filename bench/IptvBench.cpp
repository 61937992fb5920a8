// RTP multicast on loopback into the IPTV feed, through the filter to a sink: the
// highest rate received without loss, and the CPU time per megabit.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "feeds/iptv/IPTVFeed.h"
#include "bench/FilterToSink.h"
#include "host/UdpSender.h"
#include "net/NetAddress.h"
#include "tools/tsgen/TsGenerator.h"

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void PushIntoFilter(void* context, IMediaSample* sample) {
    static_cast<ITSFeedSampleInput*>(context)->DeliverSample(sample);
    sample->Release();
}

void BM_IptvRtpMulticast(benchmark::State& state) {
    const double megabits = double(state.range(0));
    const int port = 30000 + getpid() % 20000 + int(state.range(0));
    const std::string group = "239.255.77.1";
    for (auto _ : state) {
        FilterToSink rig;
        rig.control->SetMode(kModeHostSupplied, nullptr);
        rig.media->Run();
        std::atomic<uint64_t>& received = rig.bytes;

        CIPTVFeed feed;
        NetAddress groupAddress{}, loopback{};
        ParseNetAddress(nullptr, group + ":" + std::to_string(port), groupAddress);
        ParseNetAddress(nullptr, "127.0.0.1:0", loopback);
        feed.SetGroup(groupAddress);
        feed.SetInterface(loopback);
        feed.SetRtpMode(RtpMode::Rtp);
        feed.SetCallback(rig.input.Get(), &PushIntoFilter);
        if (!feed.Start(0)) {
            state.SkipWithError(feed.GetErrorText() ? feed.GetErrorText() : "the IPTV feed did not start");
            break;
        }

        // The sender paces whole datagrams to the rate, in 1 ms steps.
        std::atomic<uint64_t> sentBytes{0};
        double senderCpu = 0;
        const double seconds = 10;
        double cpu0 = ProcessCpuSeconds();
        auto start = std::chrono::steady_clock::now();
        std::thread sender([&] {
            UdpSender udp;
            std::string error;
            udp.Open({group + ":" + std::to_string(port), true, 1, "127.0.0.1"}, &error);
            TsGeneratorOptions options;
            options.bitrate = uint32_t(megabits * 1e6);
            TsGenerator generator(options);
            std::vector<uint8_t> datagram(UdpSender::kPayloadSize);
            const double bytesPerSecond = megabits * 1e6 / 8;
            uint64_t sent = 0;
            for (;;) {
                double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                if (elapsed >= seconds) break;
                while (sent + UdpSender::kPayloadSize <= bytesPerSecond * elapsed) {
                    generator.Generate(datagram.data(), UdpSender::kPacketsPerDatagram);
                    udp.Send(datagram.data(), datagram.size());
                    sent += datagram.size();
                }
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            sentBytes = sent;
            senderCpu = ThreadCpuSeconds();
        });
        sender.join();
        // What is still on its way through the feed's ring and the filter's queue.
        auto settle = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (received.load() < sentBytes.load() && std::chrono::steady_clock::now() < settle)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        double receiverCpu = ProcessCpuSeconds() - cpu0 - senderCpu;
        uint64_t lost = feed.RtpLostPackets();
        feed.Stop();
        double receivedMbit = received.load() * 8 / 1e6;
        state.counters["offered_Mbps"] = megabits;
        state.counters["received_Mbps"] = receivedMbit / seconds;
        state.counters["lost_bytes"] = double(sentBytes.load() - std::min(sentBytes.load(), received.load()));
        state.counters["rtp_lost_datagrams"] = double(lost);
        state.counters["receiver_cpu_ms_per_Mbit"] = receivedMbit > 0 ? receiverCpu * 1000 / receivedMbit : 0;
    }
}
BENCHMARK(BM_IptvRtpMulticast)->Arg(200)->Arg(400)->Arg(800)->Arg(1200)->Arg(1600)->Arg(2000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
