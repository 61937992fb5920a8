// RTP on loopback into the IPTV feed: the highest multicast rate received through the
// filter without loss, and the feed's own CPU time per megabit for an evenly paced
// 38 Mbit/s unicast stream.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "feeds/iptv/IPTVFeed.h"
#include "bench/FilterToSink.h"
#include "host/UdpSender.h"
#include "net/NetAddress.h"
#include "net/Sockets.h"
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

constexpr double kEvenSeconds = 5;

// Sends RTP datagrams of seven packets to 127.0.0.1:port, each at its own instant of
// an even schedule (no bursts while the sender keeps up), for the given time. Returns the payload bytes sent;
// `cpuSeconds` gets the sending thread's own CPU time.
uint64_t SendEvenlyPaced(uint16_t port, double megabits, double seconds, double* cpuSeconds) {
    constexpr size_t kPackets = 7;
    constexpr size_t kHeader = 12;
    const SocketHandle s = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
    const NetAddress to = MakeIPv4Address(0x7F000001, port);
    TsGeneratorOptions options;
    options.bitrate = uint32_t(megabits * 1e6);
    TsGenerator generator(options);
    std::vector<uint8_t> datagram(kHeader + kPackets * 188);
    datagram[0] = 0x80;
    datagram[1] = 33;
    const double interval = kPackets * 188 * 8 / (megabits * 1e6);
    const uint64_t count = uint64_t(seconds / interval);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    uint64_t sent = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t(i * interval * 1e9);
        timespec due = next;
        due.tv_sec += time_t(at / 1'000'000'000);
        due.tv_nsec += long(at % 1'000'000'000);
        if (due.tv_nsec >= 1'000'000'000) {
            due.tv_nsec -= 1'000'000'000;
            ++due.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
        datagram[2] = uint8_t(i >> 8);
        datagram[3] = uint8_t(i);
        generator.Generate(datagram.data() + kHeader, kPackets);
        if (SocketSendTo(s, datagram.data(), int(datagram.size()), to) > 0) sent += kPackets * 188;
    }
    SocketClose(s);
    *cpuSeconds = ThreadCpuSeconds();
    return sent;
}

std::atomic<uint64_t> g_evenBytes{0};

void CountAndRelease(void*, IMediaSample* sample) {
    g_evenBytes.fetch_add(uint64_t(sample->GetActualDataLength()), std::memory_order_relaxed);
    sample->Release();
}

// The feed alone (its callback counts and releases), so the figure is the feed's own
// cost per megabit. Set KESTREL_BENCH_SEND_ONLY=PORT to run only the sender against
// another receiver on that port, e.g. `ffmpeg -i rtp://127.0.0.1:PORT -f null -`.
void BM_IptvEvenlyPacedRtp(benchmark::State& state) {
    const double megabits = double(state.range(0));
    if (const char* port = std::getenv("KESTREL_BENCH_SEND_ONLY")) {
        for (auto _ : state) {
            double senderCpu = 0;
            const uint64_t sent = SendEvenlyPaced(uint16_t(std::atoi(port)), megabits, kEvenSeconds, &senderCpu);
            state.counters["sent_Mbit"] = sent * 8 / 1e6;
        }
        return;
    }
    const uint16_t port = uint16_t(20000 + getpid() % 20000);
    for (auto _ : state) {
        g_evenBytes = 0;
        CIPTVFeed feed;
        feed.SetGroup(MakeIPv4Address(0x7F000001, port));
        feed.SetInterface(MakeIPv4Address(0, 0));
        feed.SetCallback(nullptr, &CountAndRelease);
        if (!feed.Start(0)) {
            state.SkipWithError(feed.GetErrorText() ? feed.GetErrorText() : "the IPTV feed did not start");
            break;
        }
        double senderCpu = 0;
        const double cpu0 = ProcessCpuSeconds();
        uint64_t sent = 0;
        std::thread sender([&] { sent = SendEvenlyPaced(port, megabits, kEvenSeconds, &senderCpu); });
        sender.join();
        const auto settle = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (g_evenBytes.load() < sent && std::chrono::steady_clock::now() < settle)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const double receiverCpu = ProcessCpuSeconds() - cpu0 - senderCpu;
        const uint64_t received = g_evenBytes.load();
        feed.Stop();
        const double receivedMbit = received * 8 / 1e6;
        state.counters["offered_Mbps"] = megabits;
        state.counters["received_Mbps"] = receivedMbit / kEvenSeconds;
        state.counters["lost_bytes"] = double(sent - std::min(sent, received));
        state.counters["rtp_lost_datagrams"] = double(feed.RtpLostPackets());
        state.counters["datagrams"] = double(feed.DatagramsReceived());
        state.counters["receiver_cpu_ms_per_Mbit"] = receivedMbit > 0 ? receiverCpu * 1000 / receivedMbit : 0;
    }
}
// Megabits per second offered; 38 is the figure to compare with other receivers.
BENCHMARK(BM_IptvEvenlyPacedRtp)->Arg(38)->Arg(400)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
