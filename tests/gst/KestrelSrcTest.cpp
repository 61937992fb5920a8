// kestrelsrc in pipelines: byte-exact files, end of stream, a live feed from the example
// plug-in, repeated state changes, and the errors a person sees.
#include <gst/base/gstbasesrc.h>
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// What the program holds, without the freed blocks the sanitizer keeps in quarantine.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#define KESTREL_ASAN 1
#endif

#include "tests/feeds_satip_session/SatIpSimSupport.h"
#include "tests/support/ProgramTestDir.h"
#include "tests/support/ReservedUdpPort.h"
#include "tests/support/WaitUntil.h"

namespace {

using Bytes = std::vector<uint8_t>;
// A tuner that streams, and one without a tuning space for its network, which cannot start.
constexpr const char* kTuners =
    "[tuner]\nname = Sim DVB-T\nnetwork = DVB-T\nbitrate = 4000000\n"
    "[tuner]\nname = Sim DVB-S2\nnetwork = DVB-S\n"
    "[tuning-space]\nname = Terrestrial\nnetwork = DVB-T\n";

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
    bool ended = false;  // end of stream reached
    GQuark domain = 0;
    int code = 0;
    std::string error;   // the first error's message
};

// Waits for the end of the stream or the first error.
Outcome Await(GstElement* pipeline, GstClockTime timeout) {
    Outcome outcome;
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message =
        gst_bus_timed_pop_filtered(bus, timeout, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) outcome.ended = true;
    if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        outcome.domain = error->domain;
        outcome.code = error->code;
        outcome.error = error->message;
        g_error_free(error);
    }
    if (message) gst_message_unref(message);
    gst_object_unref(bus);
    return outcome;
}

Outcome Play(const std::string& description, GstClockTime timeout = 20 * GST_SECOND) {
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    EXPECT_NE(pipeline, nullptr) << description;
    if (!pipeline) return {};
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    Outcome outcome = Await(pipeline, timeout);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return outcome;
}

int PacketSizeOf(GstHarness* h) {
    GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
    int size = 0;
    if (caps) gst_structure_get_int(gst_caps_get_structure(caps, 0), "packetsize", &size);
    if (caps) gst_caps_unref(caps);
    return size;
}

// Pulls until `enough` bytes arrived (0: until end of stream); every buffer must hold
// whole packets. End of stream follows the last buffer into the harness.
Bytes Pull(GstHarness* h, size_t packetSize, size_t enough) {
    Bytes bytes;
    bool ended = false;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < limit) {
        GstBuffer* buffer = gst_harness_try_pull(h);
        if (!buffer) {
            if (ended) break;
            while (GstEvent* event = gst_harness_try_pull_event(h)) {
                ended = ended || GST_EVENT_TYPE(event) == GST_EVENT_EOS;
                gst_event_unref(event);
            }
            if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        EXPECT_EQ(map.size % packetSize, 0u) << "a buffer of " << map.size << " bytes";
        bytes.insert(bytes.end(), map.data, map.data + map.size);
        gst_buffer_unmap(buffer, &map);
        gst_buffer_unref(buffer);
        if (enough && bytes.size() >= enough) break;
    }
    EXPECT_TRUE(enough || ended) << "no end of stream";
    return bytes;
}

GstHarness* Source(const std::string& mode, const std::string& source, const std::string& tune = {}) {
    GstHarness* h = gst_harness_new("kestrelsrc");
    gst_util_set_object_arg(G_OBJECT(h->element), "mode", mode.c_str());
    g_object_set(h->element, "source", source.c_str(), nullptr);
    if (!tune.empty()) g_object_set(h->element, "tune", tune.c_str(), nullptr);
    return h;
}

size_t LiveThreads() {
    size_t count = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

size_t AllocatedBytes() {
#ifdef KESTREL_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

class KestrelSrcTest : public ProgramTestDir {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
    void SetUp() override {
        ProgramTestDir::SetUp();
        std::filesystem::create_directories(File("home"));
        std::ofstream(File("home/tuners.conf")) << kTuners;
        setenv("KESTREL_HOME", File("home").c_str(), 1);
    }
    // Small files play at the filter's default rate (about 4 Mbit/s), so 40 kB take
    // less than a tenth of a second.
    std::string Stream(const std::string& name, unsigned packetSize, unsigned packets = 200) const {
        return Generate(name, "--packet-size " + std::to_string(packetSize) + " --packets " + std::to_string(packets));
    }
};

}  // namespace

TEST_F(KestrelSrcTest, FilesComeOutByteExactInWholePacketsOfTheirOwnSize) {
    for (const char* mode : {"file", "host"}) {
        for (unsigned size : {188u, 192u, 204u}) {
            SCOPED_TRACE(std::string(mode) + " " + std::to_string(size));
            const std::string in = Stream("in.ts", size);
            const Outcome outcome = Play(std::string("kestrelsrc mode=") + mode + " source=" + in +
                                         " ! filesink location=" + File("out.ts"));
            EXPECT_TRUE(outcome.ended) << outcome.error;
            EXPECT_TRUE(ReadBytes(File("out.ts")) == ReadBytes(in));

            GstHarness* h = Source(mode, in);
            gst_harness_play(h);
            EXPECT_TRUE(Pull(h, size, 0) == ReadBytes(in));
            EXPECT_EQ(PacketSizeOf(h), int(size));
            EXPECT_FALSE(gst_base_src_is_live(GST_BASE_SRC(h->element)));
            gst_harness_teardown(h);
        }
    }
}

TEST_F(KestrelSrcTest, APartialPacketAtTheEndIsLeftOutAndALoopingFileGoesOn) {
    const std::string in = Stream("in.ts", 188);
    Bytes packets = ReadBytes(in);
    {
        std::ofstream(in, std::ios::app) << std::string(100, 'x');
    }
    for (const char* mode : {"file", "host"}) {
        GstHarness* h = Source(mode, in);
        gst_harness_play(h);
        EXPECT_TRUE(Pull(h, 188, 0) == packets) << mode;
        gst_harness_teardown(h);
    }
    // With the marker the filter goes back to the start: more than one pass, no end.
    Bytes exact = ReadBytes(Stream("loop.ts", 188));
    GstHarness* h = Source("file", File("loop.ts") + ":LOOP:");
    gst_harness_play(h);
    const Bytes got = Pull(h, 188, exact.size() * 3 / 2);
    ASSERT_GE(got.size(), exact.size() * 3 / 2);
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], exact[i % exact.size()]) << "byte " << i;
    }
    gst_harness_teardown(h);
}

TEST_F(KestrelSrcTest, DemuxedFilesReachTheEndOfTheStream) {
    const std::string in = Stream("in.ts", 188, 400);
    for (const char* mode : {"file", "host"}) {
        const Outcome outcome = Play(std::string("kestrelsrc mode=") + mode + " source=" + in + " ! tsdemux ! fakesink");
        EXPECT_TRUE(outcome.ended) << mode << ": " << outcome.error;
    }
}

TEST_F(KestrelSrcTest, LiveFeedsAreLiveSourcesOfStampedPackets) {
    // The example plug-in's feed runs in the filter; a tuner runs in the element.
    const std::pair<const char*, const char*> feeds[] = {{"Plinth Demo Satellite", ""},
                                                         {"Plinth Demo Satellite", "freq=11836,sr=27500,pol=h"},
                                                         {"Sim DVB-T", "freq=506,bw=7"}};
    for (const auto& [feed, tune] : feeds) {
        SCOPED_TRACE(std::string(feed) + " " + tune);
        GstHarness* h = Source("live", feed, tune);
        EXPECT_TRUE(gst_base_src_is_live(GST_BASE_SRC(h->element)));
        gst_harness_play(h);
        GstClockTime last = 0;
        size_t bytes = 0;
        for (int i = 0; i < 10; ++i) {
            GstBuffer* buffer = gst_harness_pull(h);
            ASSERT_NE(buffer, nullptr);
            GstMapInfo map;
            gst_buffer_map(buffer, &map, GST_MAP_READ);
            ASSERT_EQ(map.size % 188, 0u);
            for (size_t at = 0; at < map.size; at += 188) ASSERT_EQ(map.data[at], 0x47) << "packet at " << bytes + at;
            bytes += map.size;
            gst_buffer_unmap(buffer, &map);
            ASSERT_TRUE(GST_BUFFER_PTS_IS_VALID(buffer));
            EXPECT_GE(GST_BUFFER_PTS(buffer), last);
            last = GST_BUFFER_PTS(buffer);
            gst_buffer_unref(buffer);
        }
        EXPECT_EQ(PacketSizeOf(h), 188);
        gst_harness_teardown(h);
    }
}

TEST_F(KestrelSrcTest, AnIptvAddressIsReceivedAsTheHostProgramReceivesIt) {
    const Bytes sent = ReadBytes(Stream("in.ts", 188, 7 * 60));
    ReservedUdpPort port;
    ASSERT_NE(port.Port(), 0);
    GstHarness* h = Source("live", "udp://@127.0.0.1:" + std::to_string(port.Port()));
    EXPECT_TRUE(gst_base_src_is_live(GST_BASE_SRC(h->element)));
    gst_harness_play(h);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port.Port()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (size_t at = 0; at < sent.size(); at += 7 * 188) {
        ASSERT_EQ(sendto(fd, sent.data() + at, 7 * 188, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 7 * 188);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    close(fd);
    EXPECT_TRUE(Pull(h, 188, sent.size()) == sent);
    EXPECT_EQ(PacketSizeOf(h), 188);
    gst_harness_teardown(h);
}

TEST_F(KestrelSrcTest, TheSatIpFeedRunsWithTheSettingsTheHostProgramStored) {
    using namespace satip_feed_test;
    SimNamespace ns("gst");
    if (!ns.Ready()) GTEST_SKIP() << "a network namespace cannot be set up here (needs root)";
    Sim sim(ns, dir_.string(), "");
    ASSERT_TRUE(sim.Ready());
    const ShellResult saved = RunShell("KESTREL_HOME='" + File("home") + "' ip netns exec " + ns.Name() + " " +
                                       Kestrel() + " satip play --server " + kServerAddress +
                                       " --mode unicast --app stored --save --seconds 0.2 --out /dev/null");
    ASSERT_EQ(saved.status, 0) << saved.err;
    ns.Ns().Run([&] {
        GstHarness* h = Source("live", "SAT>IP");
        g_object_set(h->element, "app", "stored", nullptr);
        gst_harness_play(h);
        const Bytes got = Pull(h, 188, 300'000);
        ASSERT_GE(got.size(), 300'000u);
        EXPECT_TRUE(got == SimReference(got.size()));
        gst_harness_teardown(h);

        // A stream that stops coming ends the pipeline with an error.
        GstElement* pipeline = gst_parse_launch("kestrelsrc source=SAT>IP app=stored ! fakesink", nullptr);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        EXPECT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
        EXPECT_EQ(sim.Control("data off"), "ok\n");
        EXPECT_EQ(Await(pipeline, 15 * GST_SECOND).error, std::string("connection lost to SAT>IP server ") + kServerAddress);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);

        // Nothing stored under this name: the feed's own words say what is missing.
        pipeline = gst_parse_launch("kestrelsrc source=SAT>IP app=nothing ! fakesink", nullptr);
        EXPECT_EQ(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
        EXPECT_EQ(Await(pipeline, 0).error, "cannot receive SAT>IP: No SAT>IP server selected");
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    });
}

TEST_F(KestrelSrcTest, BadSettingsFailTheStartWithOneClearError) {
    const std::string missing = File("missing.ts");
    const std::string text = File("text.ts");
    std::ofstream(text) << std::string(20000, 'a');
    const struct {
        std::string properties;
        GQuark domain;
        int code;
        std::string error;
    } cases[] = {
        {"source=\"No Such Feed\"", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND, "no feed is named \"No Such Feed\""},
        {"mode=live", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS, "no source is set"},
        {"mode=file source=" + missing, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ,
         "cannot read " + missing + ": No such file or directory"},
        {"mode=host source=" + File("home"), GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ,
         "cannot read " + File("home") + ": Is a directory"},
        {"mode=host source=" + text, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ,
         text + " is no transport stream (no packet size can be found)"},
        {"mode=file source=" + text + " tune=freq=11836", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS,
         "tune applies to live feeds only"},
        {"source=\"Plinth Demo Satellite\" tune=freq=fast", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS, "tune: "},
        {"source=\"Plinth Demo Satellite\" tune=delsys=dvbt,freq=506", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_FAILED,
         "\"Plinth Demo Satellite\" refused the tuning delsys=dvbt,freq=506"},
        {"source=\"Sim DVB-S2\"", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_FAILED,
         "Unable to find correct tuningspace."},
        {"source=\"Sim DVB-T\" tune=freq=506,bw=9", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS, "tune: "},
        {"source=udp://@239.1.2.3", GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS,
         "not an address with a port: \"udp://@239.1.2.3\""},
        {"module=" + missing + " source=x", GST_LIBRARY_ERROR, GST_LIBRARY_ERROR_INIT,
         "cannot load the module " + missing + ": "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.properties);
        GstElement* pipeline = gst_parse_launch(("kestrelsrc " + c.properties + " ! fakesink").c_str(), nullptr);
        ASSERT_NE(pipeline, nullptr);
        EXPECT_EQ(gst_element_set_state(pipeline, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
        const Outcome outcome = Await(pipeline, 0);
        EXPECT_EQ(outcome.domain, c.domain);
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_EQ(outcome.error.rfind(c.error, 0), 0u) << outcome.error;
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
}

TEST_F(KestrelSrcTest, AHundredRunsLeaveNoThreadsAndNoMemoryBehind) {
    const std::string in = Stream("in.ts", 188);
    GstElement* pipelines[] = {
        gst_parse_launch(("kestrelsrc mode=file source=" + in + ":LOOP: ! fakesink").c_str(), nullptr),
        gst_parse_launch(("kestrelsrc mode=host source=" + in + " ! fakesink sync=true").c_str(), nullptr),
        gst_parse_launch("kestrelsrc source=\"Plinth Demo Satellite\" ! fakesink", nullptr),
        gst_parse_launch("kestrelsrc source=\"Sim DVB-T\" ! fakesink", nullptr)};
    auto cycle = [&](int i) {
        GstElement* pipeline = pipelines[i % std::size(pipelines)];
        ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
        ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
        ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
    };
    for (int i = 0; i < 12; ++i) ASSERT_NO_FATAL_FAILURE(cycle(i));
    const size_t threads = LiveThreads();
    const size_t bytes = AllocatedBytes();
    for (int i = 0; i < 99; ++i) ASSERT_NO_FATAL_FAILURE(cycle(i));
    // GLib's pools may keep an idle thread or two more; a thread per run would be dozens.
    EXPECT_LE(LiveThreads(), threads + 2);
    // A run holds a queue of tens of megabytes and samples of 770 kB: one lost per run
    // would be far beyond this.
    const size_t after = AllocatedBytes();
    EXPECT_LT(after, bytes + 2'000'000) << bytes << " -> " << after;
    for (GstElement* pipeline : pipelines) gst_object_unref(pipeline);
}

TEST_F(KestrelSrcTest, GstInspectDocumentsEveryProperty) {
#ifdef KESTREL_ASAN
    GTEST_SKIP() << "gst-inspect-1.0 is not sanitized and cannot load a sanitized plug-in";
#else
    const ShellResult r = RunShell("GST_REGISTRY='" + File("registry.bin") + "' gst-inspect-1.0 kestrelsrc");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* text : {"video/mpegts", "packetsize: { (int)188, (int)192, (int)204 }", "  module ", "  mode ",
                             "  source ", "  app ", "  tune ", "(0): live", "(1): file", "(2): host", ":LOOP:",
                             "udp://@239.1.2.3:5000", "KEY=VALUE"}) {
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
    }
#endif
}
