// The kestrel program as users run it: byte-exact streaming, summaries, listing,
// registration and its error lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "tests/support/NetNamespace.h"

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

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a shell command line; standard error is captured, standard output stays as the
// command line directs it.
Result Shell(const std::string& command) {
    fs::path errFile = fs::temp_directory_path() / ("kestrel-host-err-" + std::to_string(getpid()));
    int raw = std::system((command + " 2>'" + errFile.string() + "'").c_str());
    Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(errFile.string())};
    fs::remove(errFile);
    return r;
}

// The number after "name": in a JSON line.
long long JsonNumber(const std::string& line, const std::string& name) {
    size_t at = line.find("\"" + name + "\":");
    return at == std::string::npos ? -1 : std::stoll(line.substr(at + name.size() + 3));
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
    std::string Generate(const std::string& name, const std::string& args) const {
        EXPECT_EQ(Shell("'" + Bin() + "/tsgen' " + args + " --out '" + File(name) + "'").status, 0) << args;
        return File(name);
    }
    static std::string Kestrel() { return "'" + Bin() + "/kestrel'"; }
    static std::string WithPlugin() {
        const char* plugins = std::getenv("KESTREL_TEST_PLUGINS");
        return "LD_LIBRARY_PATH='" + std::string(plugins ? plugins : "") + "' " + Kestrel();
    }

    fs::path dir_;
};

}  // namespace

TEST_F(HostTest, PushAndPassthroughAreByteExactForAwkwardSizes) {
    // Empty, one byte, one queue entry exactly, one byte over, and several entries plus a tail.
    for (size_t size : {size_t(0), size_t(1), size_t(770048), size_t(770049), size_t(3 * 770048 + 1234)}) {
        for (const char* command : {"push", "passthrough"}) {
            std::string in = WriteRandom("in.bin", size, static_cast<unsigned>(size));
            Result r = Shell(Kestrel() + " " + command + " --in '" + in + "' --out '" + File("out.bin") + "' --json");
            ASSERT_EQ(r.status, 0) << command << ": " << r.err;
            EXPECT_TRUE(Read(File("out.bin")) == Read(in)) << command << " size " << size;
            EXPECT_EQ(JsonNumber(r.err, "bytes"), (long long)size) << r.err;
        }
    }
    // Standard input to standard output, with the plain one-line summary.
    std::string in = WriteRandom("in.bin", 5'000'000, 7);
    Result r = Shell(Kestrel() + " push < '" + in + "' > '" + File("out.bin") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Read(File("out.bin")) == Read(in));
    EXPECT_EQ(r.err.find("command=push bytes=5000000 seconds="), 0u) << r.err;
    EXPECT_NE(r.err.find(" bitrate="), std::string::npos);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST_F(HostTest, FeedsListsThePluginDevicesOnlyWhenItIsOnTheSearchPathAndLiveRecordsOne) {
    Result none = Shell(Kestrel() + " feeds > '" + File("none.txt") + "'");
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(Read(File("none.txt")), "  0  type 5   File Feed                                 Transport Stream File\n");
    Result some = Shell(WithPlugin() + " feeds --json > '" + File("feeds.json") + "'");
    ASSERT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(Read(File("feeds.json")),
              "[{\"index\":0,\"type\":1,\"name\":\"Plinth Demo Satellite\",\"details\":\"generated stream, 4000000 "
              "bit/s\"},{\"index\":1,\"type\":3,\"name\":\"Plinth Demo Terrestrial\",\"details\":\"generated stream, "
              "8000000 bit/s\"},{\"index\":2,\"type\":5,\"name\":\"File Feed\",\"details\":\"Transport Stream "
              "File\"}]\n");

    Result r = Shell(WithPlugin() + " live 'Plinth Demo Satellite' --seconds 1 --json --out '" + File("live.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string ts = Read(File("live.ts"));
    // About one second of a 4 Mbit/s stream, whole packets with sync bytes.
    EXPECT_GT(ts.size(), 200'000u);
    EXPECT_LT(ts.size(), 1'000'000u);
    ASSERT_EQ(ts.size() % 188, 0u);
    for (size_t i = 0; i < ts.size(); i += 188) ASSERT_EQ(ts[i], 0x47) << i;
    EXPECT_NE(r.err.find("\"lock\":1"), std::string::npos) << r.err;
    Result unknown = Shell(WithPlugin() + " live 'No Such Feed'");
    EXPECT_NE(unknown.status, 0);
    EXPECT_EQ(unknown.err, "kestrel: no feed is named \"No Such Feed\" (see 'kestrel feeds')\n");
}

TEST_F(HostTest, RegisterWritesTheClassKeysAndUnregisterRemovesThem) {
    std::string home = "KESTREL_HOME='" + File("home") + "' ";
    Result r = Shell(home + Kestrel() + " register");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string store = Read(File("home/HKEY_CLASSES_ROOT.reg"));
    for (const char* line : {"[HKEY_CLASSES_ROOT\\CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}\\InprocServer32]",
                             "@=\"Velmar TS Feed filter\"", "\"ThreadingModel\"=\"Both\"", "Kestrel.ax\""})
        EXPECT_NE(store.find(line), std::string::npos) << line << " in\n" << store;
    r = Shell(home + Kestrel() + " unregister");
    ASSERT_EQ(r.status, 0) << r.err;
    store = Read(File("home/HKEY_CLASSES_ROOT.reg"));
    EXPECT_EQ(store.find("5A486531"), std::string::npos) << store;
}

TEST_F(HostTest, BadInputGivesOneClearLineAndAFailureStatus) {
    const std::pair<std::string, std::string> cases[] = {
        {" push --in '" + File("nothing.ts") + "' --out '" + File("o") + "'",
         "kestrel: cannot open " + File("nothing.ts") + ": No such file or directory\n"},
        {" measure '" + File("none.ts") + "'", "kestrel: cannot open " + File("none.ts") + ": No such file or directory\n"},
        {" iptv 239.1.2.3 --seconds 1",
         "kestrel: not an address with a port: \"239.1.2.3\" (use 239.1.2.3:5000 or [ff15::1]:5000)\n"},
        {" iptv 127.0.0.1:5000 --source 127.0.0.1 --seconds 1", "kestrel: --source needs a multicast group address\n"},
    };
    for (const auto& [args, message] : cases) {
        Result r = Shell(Kestrel() + args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(r.err, message);
    }
    Result noModule = Shell(Kestrel() + " --module '" + File("none.ax") + "' push --in /dev/null");
    EXPECT_NE(noModule.status, 0);
    EXPECT_EQ(noModule.err.rfind("kestrel: cannot load the module ", 0), 0u) << noModule.err;
    EXPECT_EQ(std::count(noModule.err.begin(), noModule.err.end(), '\n'), 1);
    Result badDir = Shell(Kestrel() + " push --in /dev/null --out '" + File("no/such/dir/out") + "'");
    EXPECT_NE(badDir.status, 0);
    EXPECT_NE(badDir.err.find("cannot open"), std::string::npos) << badDir.err;
    EXPECT_NE(Shell(Kestrel()).status, 0);
    EXPECT_NE(Shell(Kestrel() + " push --seconds -3").status, 0);
}

TEST_F(HostTest, MeasureGivesTheGeneratorsBitrateForEachPacketSize) {
    for (int size : {188, 192, 204}) {
        std::string file = Generate("m.ts", "--bitrate 24000000 --seconds 4 --packet-size " + std::to_string(size));
        Result r = Shell(Kestrel() + " measure '" + file + "' --json > '" + File("m.json") + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        std::string json = Read(File("m.json"));
        EXPECT_EQ(JsonNumber(json, "packet_size"), size) << json;
        // PCR arithmetic truncates; the generator's clock is exact to the byte.
        EXPECT_NEAR(double(JsonNumber(json, "bitrate")), 24e6, 24e6 * 1e-5) << json;
    }
    std::string small = Generate("small.ts", "--bitrate 8000000 --seconds 2");
    Result r = Shell(Kestrel() + " measure '" + small + "' > /dev/null");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("cannot be measured"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(HostTest, PlayOnceGivesTheFileBackByteForByteAndLoopingGoesOnAtItsRate) {
    std::string file = Generate("play.ts", "--bitrate 120000000 --seconds 0.5");
    Result r = Shell(Kestrel() + " play '" + file + "' --once --json --out '" + File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Read(File("out.ts")) == Read(file));
    EXPECT_NEAR(double(JsonNumber(r.err, "file_bitrate")), 120e6, 120e6 * 1e-5) << r.err;
    // Paced: a half-second file takes about half a second.
    double seconds = std::stod(r.err.substr(r.err.find("\"seconds\":") + 10));
    EXPECT_GT(seconds, 0.3);
    EXPECT_LT(seconds, 3.0);

    // Looping runs for the time asked, at the file's rate, and goes round without a gap.
    r = Shell(Kestrel() + " play '" + file + ":LOOP:' --seconds 1.2 --out '" + File("loop.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string in = Read(file), out = Read(File("loop.ts"));
    ASSERT_GT(out.size(), in.size() + 188 * 100);
    EXPECT_EQ(out.compare(0, in.size(), in), 0);
    EXPECT_EQ(out.compare(in.size(), 188 * 100, in, 0, 188 * 100), 0);
    EXPECT_GT(out.size(), 120e6 / 8 * 0.9);
    EXPECT_LT(out.size(), 120e6 / 8 * 2.0);
}

TEST_F(HostTest, PlayReStreamedOverUdpAndRtpIsReceivedByteExactByIptv) {
    const std::string file = Generate("send.ts", "--bitrate 25000000 --seconds 2.2");  // over 5 MiB: measurable
    const int port = 20000 + getpid() % 20000;
    auto at = [&](int i) { return std::to_string(port + i); };
    // IPv6 multicast needs an interface that carries it: a veth pair in a namespace of
    // the test's own, where the sender's own datagrams loop back to the receiver.
    NetNamespace ns("host");
    const bool v6 = ns.Created() && ns.In("link add va type veth peer name vb") &&
                    ns.In("addr add fd07::1/64 dev va nodad") && ns.In("link set va up") && ns.In("link set vb up");
    const std::string inNs = "ip netns exec " + ns.Name() + " ";
    struct Case {
        std::string receive, send, prefix;
    };
    std::vector<Case> cases = {
        {"127.0.0.1:" + at(0), "--udp 127.0.0.1:" + at(0), ""},
        {"239.255.42.7:" + at(1) + " --interface 127.0.0.1 --source 127.0.0.1",
         "--rtp --udp 239.255.42.7:" + at(1) + " --interface 127.0.0.1", ""},
        {"'[::1]:" + at(2) + "'", "--rtp --udp '[::1]:" + at(2) + "'", ""},
    };
    if (v6) {
        cases.push_back({"'[ff15::7]:" + at(3) + "' --interface fd07::1",
                         "--rtp --udp '[ff15::7]:" + at(3) + "' --interface va", inNs});
        cases.push_back({"'[ff35::7]:" + at(4) + "' --interface '[fd07::1]' --source fd07::1",
                         "--udp '[ff35::7]:" + at(4) + "' --interface va", inNs});
    } else {
        std::printf("IPv6 multicast cases left out: a network namespace cannot be made here (needs root)\n");
    }
    // All receivers listen at once, then all senders play at once, at a rate that keeps
    // the five streams together light.
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::to_string(i);
        ASSERT_EQ(std::system((cases[i].prefix + Kestrel() + " iptv " + cases[i].receive + " --seconds 5 --json --out '" +
                               File("got" + n + ".ts") + "' 2>'" + File("iptv" + n + ".err") + "' &")
                                  .c_str()),
                  0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    std::string senders;
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::to_string(i);
        senders += "(" + cases[i].prefix + Kestrel() + " play '" + file + "' --once " + cases[i].send + " 2>'" +
                   File("play" + n + ".err") + "' || echo " + n + " >>'" + File("failed") + "') & ";
    }
    ASSERT_EQ(std::system((senders + "wait").c_str()), 0);
    EXPECT_EQ(Read(File("failed")), "");
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::to_string(i);
        // Each receiver ends by itself after its time.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Read(File("iptv" + n + ".err")).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string summary = Read(File("iptv" + n + ".err"));
        EXPECT_TRUE(Read(File("got" + n + ".ts")) == Read(file))
            << cases[i].send << ": the received bytes differ from the file; " << summary
            << Read(File("play" + n + ".err"));
        EXPECT_NE(summary.find("\"rtp_lost\":0"), std::string::npos) << summary;
        EXPECT_NE(summary.find("\"lock\":1"), std::string::npos) << summary;
    }
}
