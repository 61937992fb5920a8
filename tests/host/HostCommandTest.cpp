// The kestrel program as users run it: byte-exact streaming, summaries, listing,
// registration and its error lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Bin() {
    const char* bin = std::getenv("KESTREL_TEST_BIN");
    return bin ? bin : ".";
}

struct Result {
    int status;
    std::string err;
};

// Runs a shell command line; standard error is captured, standard output stays as the
// command line directs it.
Result Shell(const std::string& command) {
    fs::path errFile = fs::temp_directory_path() / ("kestrel-host-err-" + std::to_string(getpid()));
    int raw = std::system((command + " 2>'" + errFile.string() + "'").c_str());
    Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, {}};
    std::ifstream in(errFile);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(errFile);
    return r;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kestrel-host-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    std::string WriteRandom(const std::string& name, size_t size, unsigned seed) const {
        std::vector<char> data(size);
        std::mt19937 rng(seed);
        for (auto& c : data) c = static_cast<char>(rng());
        std::ofstream(File(name), std::ios::binary).write(data.data(), static_cast<std::streamsize>(size));
        return File(name);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Kestrel() const { return "'" + Bin() + "/kestrel'"; }

    fs::path dir_;
};

}  // namespace

TEST_F(HostTest, PushIsByteExactForAwkwardSizes) {
    // Empty, one byte, one entry exactly, one byte over, and several entries plus a tail.
    for (size_t size : {size_t(0), size_t(1), size_t(770048), size_t(770049), size_t(3 * 770048 + 1234)}) {
        std::string in = WriteRandom("in.bin", size, static_cast<unsigned>(size));
        Result r = Shell(Kestrel() + " push --in '" + in + "' --out '" + File("out.bin") + "' --json");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Read(File("out.bin")) == Read(in)) << "size " << size;
        EXPECT_NE(r.err.find("\"bytes\":" + std::to_string(size) + ","), std::string::npos) << r.err;
    }
}

TEST_F(HostTest, PushFromStandardInputToStandardOutput) {
    std::string in = WriteRandom("in.bin", 5'000'000, 7);
    Result r = Shell(Kestrel() + " push < '" + in + "' > '" + File("out.bin") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Read(File("out.bin")) == Read(in));
    // The plain summary: one line with the three figures.
    EXPECT_EQ(r.err.find("command=push bytes=5000000 seconds="), 0u) << r.err;
    EXPECT_NE(r.err.find(" bitrate="), std::string::npos);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST_F(HostTest, PassthroughIsByteExact) {
    std::string in = WriteRandom("in.bin", 4 * 770048 + 99, 11);
    Result r = Shell(Kestrel() + " passthrough --in '" + in + "' --out '" + File("out.bin") + "' --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Read(File("out.bin")) == Read(in));
    EXPECT_NE(r.err.find("\"command\":\"passthrough\""), std::string::npos);
}

TEST_F(HostTest, FeedsListsThePluginDevicesOnlyWhenItIsOnTheSearchPath) {
    const char* plugins = std::getenv("KESTREL_TEST_PLUGINS");
    ASSERT_NE(plugins, nullptr);
    Result none = Shell(Kestrel() + " feeds > '" + File("none.txt") + "'");
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(Read(File("none.txt")), "  0  type 5   File Feed                                 Transport Stream File\n");
    Result some = Shell("LD_LIBRARY_PATH='" + std::string(plugins) + "' " + Kestrel() + " feeds --json > '" +
                      File("feeds.json") + "'");
    ASSERT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(Read(File("feeds.json")),
              "[{\"index\":0,\"type\":1,\"name\":\"Plinth Demo Satellite\",\"details\":\"generated stream, 4000000 "
              "bit/s\"},{\"index\":1,\"type\":3,\"name\":\"Plinth Demo Terrestrial\",\"details\":\"generated stream, "
              "8000000 bit/s\"},{\"index\":2,\"type\":5,\"name\":\"File Feed\",\"details\":\"Transport Stream "
              "File\"}]\n");
}

TEST_F(HostTest, LiveRecordsTheNamedFeedForTheGivenTime) {
    const char* plugins = std::getenv("KESTREL_TEST_PLUGINS");
    Result r = Shell("LD_LIBRARY_PATH='" + std::string(plugins) + "' " + Kestrel() +
                   " live 'Plinth Demo Satellite' --seconds 1 --json --out '" + File("live.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string ts = Read(File("live.ts"));
    // About one second of a 4 Mbit/s stream, whole packets with sync bytes.
    EXPECT_GT(ts.size(), 200'000u);
    EXPECT_LT(ts.size(), 1'000'000u);
    ASSERT_EQ(ts.size() % 188, 0u);
    for (size_t i = 0; i < ts.size(); i += 188) ASSERT_EQ(ts[i], 0x47) << i;
    EXPECT_NE(r.err.find("\"lock\":1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"feed\":\"Plinth Demo Satellite\""), std::string::npos);

    Result unknown = Shell("LD_LIBRARY_PATH='" + std::string(plugins) + "' " + Kestrel() + " live 'No Such Feed'");
    EXPECT_NE(unknown.status, 0);
    EXPECT_EQ(unknown.err, "kestrel: no feed is named \"No Such Feed\" (see 'kestrel feeds')\n");
}

TEST_F(HostTest, RegisterWritesTheClassKeysAndUnregisterRemovesThem) {
    std::string home = "KESTREL_HOME='" + File("home") + "' ";
    Result r = Shell(home + Kestrel() + " register");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string store = Read(File("home/HKEY_CLASSES_ROOT.reg"));
    EXPECT_NE(store.find("[HKEY_CLASSES_ROOT\\CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}\\InprocServer32]"),
              std::string::npos)
        << store;
    EXPECT_NE(store.find("@=\"Velmar TS Feed filter\""), std::string::npos);
    EXPECT_NE(store.find("\"ThreadingModel\"=\"Both\""), std::string::npos);
    EXPECT_NE(store.find("Kestrel.ax\""), std::string::npos);
    r = Shell(home + Kestrel() + " unregister");
    ASSERT_EQ(r.status, 0) << r.err;
    store = Read(File("home/HKEY_CLASSES_ROOT.reg"));
    EXPECT_EQ(store.find("5A486531"), std::string::npos) << store;
}

TEST_F(HostTest, BadInputGivesOneClearLineAndAFailureStatus) {
    Result missing = Shell(Kestrel() + " push --in '" + File("nothing.ts") + "' --out '" + File("o") + "'");
    EXPECT_NE(missing.status, 0);
    EXPECT_EQ(missing.err, "kestrel: cannot open " + File("nothing.ts") + ": No such file or directory\n");

    Result noModule = Shell(Kestrel() + " --module '" + File("none.ax") + "' push --in /dev/null");
    EXPECT_NE(noModule.status, 0);
    EXPECT_EQ(noModule.err.rfind("kestrel: cannot load the module ", 0), 0u) << noModule.err;
    EXPECT_EQ(std::count(noModule.err.begin(), noModule.err.end(), '\n'), 1);

    Result badDir = Shell(Kestrel() + " push --in /dev/null --out '" + File("no/such/dir/out") + "'");
    EXPECT_NE(badDir.status, 0);
    EXPECT_NE(badDir.err.find("cannot open"), std::string::npos) << badDir.err;

    Result noCommand = Shell(Kestrel());
    EXPECT_NE(noCommand.status, 0);
    Result badSeconds = Shell(Kestrel() + " push --seconds -3");
    EXPECT_NE(badSeconds.status, 0);
}

namespace {
std::string Tsgen(const std::string& args) { return "'" + Bin() + "/tsgen' " + args; }

// The number after "name": in a JSON line.
long long JsonNumber(const std::string& line, const std::string& name) {
    size_t at = line.find("\"" + name + "\":");
    if (at == std::string::npos) return -1;
    return std::stoll(line.substr(at + name.size() + 3));
}
}  // namespace

TEST_F(HostTest, MeasureGivesTheGeneratorsBitrateForEachPacketSize) {
    for (int size : {188, 192, 204}) {
        std::string file = File("m" + std::to_string(size) + ".ts");
        ASSERT_EQ(Shell(Tsgen("--bitrate 24000000 --seconds 4 --packet-size " + std::to_string(size) + " --out '" +
                              file + "'"))
                      .status,
                  0);
        Result r = Shell(Kestrel() + " measure '" + file + "' --json > '" + File("m.json") + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        std::string json = Read(File("m.json"));
        EXPECT_EQ(JsonNumber(json, "packet_size"), size) << json;
        // PCR arithmetic truncates; the generator's clock is exact to the byte.
        EXPECT_NEAR(double(JsonNumber(json, "bitrate")), 24e6, 24e6 * 1e-5) << json;
    }
    std::string small = File("small.ts");
    ASSERT_EQ(Shell(Tsgen("--bitrate 8000000 --seconds 2 --out '" + small + "'")).status, 0);
    Result r = Shell(Kestrel() + " measure '" + small + "' > /dev/null");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("cannot be measured"), std::string::npos) << r.err;
    Result missing = Shell(Kestrel() + " measure '" + File("none.ts") + "'");
    EXPECT_NE(missing.status, 0);
    EXPECT_EQ(missing.err, "kestrel: cannot open " + File("none.ts") + ": No such file or directory\n");
}

TEST_F(HostTest, PlayOnceGivesTheFileBackByteForByte) {
    std::string file = File("play.ts");
    ASSERT_EQ(Shell(Tsgen("--bitrate 120000000 --seconds 0.5 --out '" + file + "'")).status, 0);
    Result r = Shell(Kestrel() + " play '" + file + "' --once --json --out '" + File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read(File("out.ts")).size(), Read(file).size());
    EXPECT_TRUE(Read(File("out.ts")) == Read(file));
    EXPECT_NEAR(double(JsonNumber(r.err, "file_bitrate")), 120e6, 120e6 * 1e-5) << r.err;
    // Paced: a half-second file takes about half a second.
    double seconds = std::stod(r.err.substr(r.err.find("\"seconds\":") + 10));
    EXPECT_GT(seconds, 0.3);
    EXPECT_LT(seconds, 3.0);
}

TEST_F(HostTest, PlayLoopingRunsForTheGivenTimeAtTheFilesRate) {
    std::string file = File("loop.ts");
    ASSERT_EQ(Shell(Tsgen("--bitrate 60000000 --seconds 1 --out '" + file + "'")).status, 0);
    Result r = Shell(Kestrel() + " play '" + file + ":LOOP:' --seconds 1.5 --json --out '" + File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string out = Read(File("out.ts"));
    // Loops past the end of the one-second file without a gap: the output starts with the file.
    std::string in = Read(file);
    ASSERT_GT(out.size(), in.size());
    EXPECT_EQ(out.compare(0, in.size(), in), 0);
    EXPECT_EQ(out.compare(in.size(), 188 * 100, in, 0, 188 * 100), 0);
    EXPECT_GT(out.size(), 60e6 / 8 * 1.0);
    EXPECT_LT(out.size(), 60e6 / 8 * 2.5);
}

TEST_F(HostTest, PlayReStreamedOverRtpIsReceivedByteExactByIptv) {
    std::string file = File("send.ts");
    ASSERT_EQ(Shell(Tsgen("--bitrate 100000000 --seconds 0.5 --out '" + file + "'")).status, 0);
    const int port = 20000 + getpid() % 20000;
    struct Case {
        std::string receive, send;
    };
    // Unicast, any-source and source-specific multicast, and IPv6 unicast, all kept on loopback.
    const Case cases[] = {
        {"127.0.0.1:" + std::to_string(port), "--udp 127.0.0.1:" + std::to_string(port)},
        {"239.255.42.7:" + std::to_string(port + 1) + " --interface 127.0.0.1",
         "--udp 239.255.42.7:" + std::to_string(port + 1) + " --interface 127.0.0.1"},
        {"239.255.42.8:" + std::to_string(port + 2) + " --interface 127.0.0.1 --source 127.0.0.1",
         "--udp 239.255.42.8:" + std::to_string(port + 2) + " --interface 127.0.0.1"},
        {"'[::1]:" + std::to_string(port + 3) + "'", "--udp '[::1]:" + std::to_string(port + 3) + "'"},
    };
    for (const Case& c : cases) {
        std::string out = File("received.ts");
        std::string receiver = Kestrel() + " iptv " + c.receive + " --seconds 4 --json --out '" + out + "' 2>'" +
                               File("iptv.err") + "' &";
        ASSERT_EQ(std::system(receiver.c_str()), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        Result sent = Shell(Kestrel() + " play '" + file + "' --once --rtp " + c.send);
        ASSERT_EQ(sent.status, 0) << sent.err;
        // The receiver ends by itself after its time.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Read(File("iptv.err")).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::string summary = Read(File("iptv.err"));
        std::string got = Read(out), sent_bytes = Read(file);
        EXPECT_EQ(got.size(), sent_bytes.size()) << c.receive << ": " << summary;
        EXPECT_TRUE(got == sent_bytes) << c.receive << ": the received bytes differ from the file";
        EXPECT_NE(summary.find("\"rtp_lost\":0"), std::string::npos) << summary;
        EXPECT_NE(summary.find("\"lock\":1"), std::string::npos) << summary;
        std::filesystem::remove(File("iptv.err"));
    }
}

TEST_F(HostTest, IptvRefusesBadAddresses) {
    Result r = Shell(Kestrel() + " iptv 239.1.2.3 --seconds 1");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, "kestrel: not an address with a port: \"239.1.2.3\" (use 239.1.2.3:5000 or [ff15::1]:5000)\n");
    r = Shell(Kestrel() + " iptv 127.0.0.1:5000 --source 127.0.0.1 --seconds 1");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, "kestrel: --source needs a multicast group address\n");
}
