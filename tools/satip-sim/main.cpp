// satip-sim: a SAT>IP server for testing clients, with switches for the faults real
// servers show.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "net/InterfaceList.h"
#include "tools/satip-sim/HttpServer.h"
#include "tools/satip-sim/RtspServer.h"
#include "tools/satip-sim/SimState.h"
#include "tools/satip-sim/SsdpServer.h"
#include "tools/satip-sim/Tcp.h"
#include "tools/tsgen/BitrateText.h"

namespace {

constexpr char kProgram[] = "satip-sim";

std::string RandomUuid() {
    std::mt19937_64 engine{std::random_device{}()};
    const uint64_t a = engine(), b = engine();
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>(a >> 16) & 0xFFFF, static_cast<unsigned>(a) & 0xFFF,
                  0x8000 | (static_cast<unsigned>(b >> 48) & 0x3FFF),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return text;
}

std::string AddressText(in_addr address) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return 2;
}

void Announce(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The control channel: one command per line, one reply line each.
void ServeControl(SimState& state, std::atomic<bool>& quit, int socket) {
    std::string buffer;
    while (!state.stopping) {
        const size_t newline = buffer.find('\n');
        if (newline == std::string::npos) {
            if (buffer.size() > 1024) return;
            pollfd p{socket, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char chunk[256];
            const ssize_t got = read(socket, chunk, sizeof chunk);
            if (got <= 0) return;
            buffer.append(chunk, static_cast<size_t>(got));
            continue;
        }
        std::string line = buffer.substr(0, newline);
        buffer.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        state.Log("control: " + line);
        if (!WriteAll(socket, RunControlCommand(state, line, &quit) + "\n")) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"A SAT>IP server simulator: SSDP, device description, RTSP with RTP/RTCP, HTTP streaming."};
    app.set_version_flag("--version", "satip-sim 1.0");
    SimState state;
    std::vector<std::string> interfaces;
    std::string address, bitrate, malformed = "off", malformedMethods;
    DeviceIdentity device;
    unsigned rtspPort = 554, httpPort = 80, sessionTimeout = 60, notifyInterval = 60, replyDelay = 0;
    unsigned level = 224, quality = 15, lock = 1;
    int controlPort = -1;
    bool chunked = false, noData = false, noRtcp = false, quiet = false;

    app.add_option("--interface", interfaces, "Announce by SSDP on this interface (name or address); repeatable")
        ->type_name("IF");
    app.add_option("--address", address, "Address put in URLs (default: the first interface's, else 127.0.0.1)");
    app.add_option("--rtsp-port", rtspPort, "RTSP port; 0 picks a free one")->capture_default_str();
    app.add_option("--http-port", httpPort, "HTTP port of the description and of HTTP streams; 0 picks a free one")
        ->capture_default_str();
    app.add_option("--control", controlPort, "Text command port on 127.0.0.1; 0 picks a free one")->type_name("PORT");
    app.add_option("--file", state.source.file, "Serve this transport-stream file, looped, at its PCR rate");
    app.add_option("--bitrate", bitrate, "Pace at this rate (8M, 500k, ...); default: the file's, or 8M");
    app.add_option("--packet-size", state.source.packetSize, "Packet size of the generated stream: 188, 192 or 204")
        ->check(CLI::IsMember({188u, 192u, 204u}));
    app.add_option("--seed", state.source.seed, "Seed of the generated stream");
    app.add_option("--caps", device.capabilities, "Front ends, as in X_SATIPCAP")->capture_default_str();
    app.add_option("--name", device.friendlyName, "friendlyName of the description")->capture_default_str();
    app.add_option("--uuid", device.uuid, "Device UUID (default: a random one)");
    app.add_option("--max-age", device.maxAge, "SSDP CACHE-CONTROL max-age in seconds")->capture_default_str();
    app.add_option("--notify-interval", notifyInterval, "Seconds between ssdp:alive rounds")
        ->check(CLI::Range(1u, 86400u))
        ->capture_default_str();
    app.add_option("--boot-id", device.bootId, "BOOTID.UPNP.ORG")->capture_default_str();
    app.add_option("--device-id", device.deviceId, "DEVICEID.SES.COM")->capture_default_str();
    app.add_option("--session-timeout", sessionTimeout, "Seconds a session lives without a request")
        ->check(CLI::Range(1u, 86400u))
        ->capture_default_str();
    app.add_flag("--http-chunked", chunked, "Send HTTP streams with chunked transfer coding");
    app.add_option("--reply-delay-ms", replyDelay, "Wait this long before every RTSP and HTTP reply");
    app.add_option("--malformed", malformed,
                   "Reply fault: off, no-cseq, bad-status, huge-header, no-timeout, garbage, silent, close")
        ->capture_default_str();
    app.add_option("--malformed-methods", malformedMethods, "Apply --malformed only to these methods (PLAY,OPTIONS)");
    app.add_flag("--no-data", noData, "Streams send no transport stream (RTCP goes on)");
    app.add_flag("--no-rtcp", noRtcp, "Send no RTCP reports");
    app.add_option("--lock", lock, "Reported lock, 0 or 1")->check(CLI::Range(0u, 1u))->capture_default_str();
    app.add_option("--level", level, "Reported level, 0..255")->check(CLI::Range(0u, 255u))->capture_default_str();
    app.add_option("--quality", quality, "Reported quality, 0..15")->check(CLI::Range(0u, 15u))->capture_default_str();
    app.add_flag("--quiet", quiet, "Log nothing on standard error");
    CLI11_PARSE(app, argc, argv);

    Malformed mode;
    if (!ParseMalformed(malformed, &mode)) return Fail("--malformed: unknown fault '" + malformed + "'");
    state.malformed = mode;
    for (size_t start = 0; start < malformedMethods.size();) {
        size_t comma = malformedMethods.find(',', start);
        if (comma == std::string::npos) comma = malformedMethods.size();
        if (comma > start) state.malformedMethods.push_back(malformedMethods.substr(start, comma - start));
        start = comma + 1;
    }
    if (!bitrate.empty()) {
        std::string error;
        const auto rate = ParseBitrate(bitrate, &error);
        if (!rate) return Fail("--bitrate: " + error);
        state.source.bitrate = *rate;
    }
    state.data = !noData;
    state.rtcp = !noRtcp;
    state.lock = lock != 0;
    state.level = level;
    state.quality = quality;
    state.replyDelayMs = replyDelay;
    state.verbose = !quiet;

    Frontends frontends;
    if (!frontends.Configure(device.capabilities))
        return Fail("--caps: '" + device.capabilities + "' is no list like DVBS2-2,DVBT-1,DVBC-1");
    {
        // A source that cannot be opened is better refused now than at the first PLAY.
        std::string error;
        const auto probe = PacedStream::Open(state.source, &error);
        if (!probe) return Fail(error);
        // Every stream opens its own reader; measuring the file once is enough.
        state.source.bitrate = probe->Bitrate();
    }

    std::vector<in_addr> ssdpAddresses;
    for (const std::string& name : interfaces) {
        std::string error;
        const auto choice = ResolveInterface(name, kNetFamilyIPv4, &error);
        if (!choice) return Fail("--interface: " + error);
        ssdpAddresses.push_back(in_addr{htonl(NetAddressIPv4(choice->address))});
    }
    in_addr own{htonl(INADDR_LOOPBACK)};
    if (!address.empty()) {
        if (inet_pton(AF_INET, address.c_str(), &own) != 1) return Fail("--address: '" + address + "' is no IPv4 address");
    } else if (!ssdpAddresses.empty()) {
        own = ssdpAddresses.front();
    }
    if (device.uuid.empty()) device.uuid = RandomUuid();

    // Signals are taken by the main thread alone, so every thread starts with them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE}) {
        // A shell starts background jobs with SIGINT ignored; this program still obeys it.
        if (s != SIGPIPE) signal(s, SIG_DFL);
        sigaddset(&signals, s);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    HttpServer http(state, frontends, device, chunked);
    if (!http.Start(static_cast<uint16_t>(httpPort), &error)) return Fail(error);
    const std::string base = "http://" + AddressText(own) + ":" + std::to_string(http.Port());
    device.location = base + kDescriptionPath;
    device.presentation = base + "/";
    http.SetDevice(device);

    RtspOptions rtspOptions;
    rtspOptions.address = own;
    rtspOptions.sessionTimeout = sessionTimeout;
    RtspServer rtsp(state, frontends, rtspOptions);
    auto stopAll = [&] { state.stopping = true; };
    if (!rtsp.Start(static_cast<uint16_t>(rtspPort), &error)) {
        stopAll();
        return Fail(error);
    }

    std::atomic<bool> quit{false};
    TcpServer control(state.stopping, [&](int s, const sockaddr_in&) { ServeControl(state, quit, s); });
    if (controlPort >= 0 && !control.Start(in_addr{htonl(INADDR_LOOPBACK)}, static_cast<uint16_t>(controlPort), &error)) {
        stopAll();
        return Fail(error);
    }

    SsdpServer ssdp(state, device, ssdpAddresses, notifyInterval);
    if (!ssdpAddresses.empty() && !ssdp.Start(&error)) {
        stopAll();
        return Fail(error);
    }

    Announce("rtsp " + AddressText(own) + ":" + std::to_string(rtsp.Port()));
    Announce("http " + AddressText(own) + ":" + std::to_string(http.Port()));
    Announce("description " + device.location);
    if (controlPort >= 0) Announce("control 127.0.0.1:" + std::to_string(control.Port()));
    for (const in_addr& a : ssdpAddresses) Announce("ssdp " + AddressText(a));
    Announce("ready");

    while (!quit) {
        timespec wait{0, 100 * 1000 * 1000};
        const int s = sigtimedwait(&signals, nullptr, &wait);
        if (s == SIGINT || s == SIGTERM) break;
        if (s == SIGUSR1) {
            // Dies the way a crashed or unplugged server does: no byebye, no TEARDOWN.
            std::fflush(stdout);
            _exit(3);
        }
        if (s == SIGUSR2) state.data = !state.data;
    }
    stopAll();
    ssdp.Stop(!ssdpAddresses.empty());
    control.Stop();
    rtsp.Stop();
    http.Stop();
    state.Log("satip-sim: stopped");
    return 0;
}
