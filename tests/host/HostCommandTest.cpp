// The kestrel program as users run it: byte-exact streaming, summaries and exit
// statuses, signals, listing, registration and its error lines.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/ProgramTestDir.h"
#include "tests/support/ReservedUdpPort.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

class HostTest : public ProgramTestDir {
protected:
    std::string WriteRandom(const std::string& name, size_t size, unsigned seed) const {
        std::vector<char> data(size);
        std::mt19937 rng(seed);
        for (auto& c : data) c = static_cast<char>(rng());
        std::ofstream(File(name), std::ios::binary).write(data.data(), static_cast<std::streamsize>(size));
        return File(name);
    }
};

}  // namespace

TEST_F(HostTest, PushAndPassthroughAreByteExactForAwkwardSizes) {
    // Empty, one byte, one queue entry exactly, one byte over, and several entries plus a tail.
    for (size_t size : {size_t(0), size_t(1), size_t(770048), size_t(770049), size_t(3 * 770048 + 1234)}) {
        for (const std::string command : {"push", "passthrough"}) {
            const std::string in = WriteRandom("in.bin", size, static_cast<unsigned>(size));
            const auto start = std::chrono::steady_clock::now();
            const ShellResult r = RunShell(Kestrel() + " " + command + " --in '" + in + "' --out '" + File("out.bin") + "' --json");
            const auto took = std::chrono::steady_clock::now() - start;
            ASSERT_EQ(r.status, 0) << command << ": " << r.err;
            EXPECT_TRUE(ReadWholeFile(File("out.bin")) == ReadWholeFile(in)) << command << " size " << size;
            EXPECT_EQ(JsonNumber(r.err, "bytes"), double(size)) << r.err;
            // Push ends as soon as its last sample is out: without the host's help the
            // graph's stop alone takes a second (two 500 ms waits of the output worker).
            if (command == "push" && size == 770049) {
                EXPECT_LT(took, milliseconds(900));
            }
        }
    }
    // Standard input to standard output, with the plain one-line summary.
    const std::string in = WriteRandom("in.bin", 5'000'000, 7);
    const ShellResult r = RunShell(Kestrel() + " push < '" + in + "' > '" + File("out.bin") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadWholeFile(File("out.bin")) == ReadWholeFile(in));
    EXPECT_EQ(r.err.find("command=push bytes=5000000 seconds="), 0u) << r.err;
    EXPECT_NE(r.err.find(" bitrate="), std::string::npos);
    EXPECT_EQ(LineCount(r.err), 1);
}

TEST_F(HostTest, AfterAWriteFailureTheSummaryCountsWhatReachedTheOutput) {
    std::string in = WriteRandom("in.bin", 3'000'000, 5);
    // A file size limit that cuts the second sample part-way (the shell's units: 512 or 1024 bytes).
    ShellResult r = RunShell("trap '' XFSZ; ulimit -f 2000; " + Kestrel() + " push --json --in '" + in + "' --out '" +
                     File("out.bin") + "'");
    EXPECT_EQ(r.status, 1) << r.err;
    const auto reached = fs::file_size(File("out.bin"));
    EXPECT_GT(reached, 770048u);
    EXPECT_NE(reached % 770048, 0u);
    EXPECT_EQ(JsonNumber(r.err, "bytes"), double(reached)) << r.err;
    EXPECT_NE(r.err.find("\nkestrel: cannot write to " + File("out.bin") + ": File too large\n"), std::string::npos)
        << r.err;
}

TEST_F(HostTest, FeedsNamesTheTypesAndListsThePluginOnlyWhenItIsOnTheSearchPath) {
    const ShellResult none = RunShell(Kestrel() + " feeds");
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "  0  file (5)          File Feed                                 Transport Stream File\n");
    const ShellResult some = RunShell(WithPlugin() + " feeds --json");
    ASSERT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(some.out,
              "[{\"index\":0,\"type\":1,\"type_name\":\"DVB-S\",\"name\":\"Plinth Demo Satellite\",\"details\":"
              "\"generated stream, 4000000 bit/s\"},{\"index\":1,\"type\":3,\"type_name\":\"DVB-T\",\"name\":\"Plinth "
              "Demo Terrestrial\",\"details\":\"generated stream, 8000000 bit/s\"},{\"index\":2,\"type\":5,"
              "\"type_name\":\"file\",\"name\":\"File Feed\",\"details\":\"Transport Stream File\"}]\n");
}

TEST_F(HostTest, LiveRecordsWholePacketsAndSaysWhatTheLockMeans) {
    ShellResult r = RunShell(WithPlugin() + " live 'Plinth Demo Satellite' --seconds 1 --out '" + File("live.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string ts = ReadWholeFile(File("live.ts"));
    // About one second of a 4 Mbit/s stream, whole packets with sync bytes.
    EXPECT_GT(ts.size(), 200'000u);
    EXPECT_LT(ts.size(), 1'000'000u);
    ASSERT_EQ(ts.size() % 188, 0u);
    for (size_t i = 0; i < ts.size(); i += 188) ASSERT_EQ(ts[i], 0x47) << i;
    EXPECT_NE(r.err.find(" lock=locked signal="), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/65535("), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" feed=Plinth Demo Satellite lock_changes=1 locked_after="), std::string::npos) << r.err;
}

TEST_F(HostTest, RegisterWritesTheClassKeysAndUnregisterRemovesThem) {
    std::string home = "KESTREL_HOME='" + File("home") + "' ";
    ShellResult r = RunShell(home + Kestrel() + " register");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string store = ReadWholeFile(File("home/HKEY_CLASSES_ROOT.reg"));
    for (const char* line : {"[HKEY_CLASSES_ROOT\\CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}\\InprocServer32]",
                             "@=\"Velmar TS Feed filter\"", "\"ThreadingModel\"=\"Both\"", "Kestrel.ax\""})
        EXPECT_NE(store.find(line), std::string::npos) << line << " in\n" << store;
    r = RunShell(home + Kestrel() + " unregister");
    ASSERT_EQ(r.status, 0) << r.err;
    store = ReadWholeFile(File("home/HKEY_CLASSES_ROOT.reg"));
    EXPECT_EQ(store.find("5A486531"), std::string::npos) << store;

    // A store it cannot write: the reason in words, then the code.
    fs::remove_all(File("home"));
    fs::create_directories(File("home/HKEY_CLASSES_ROOT.reg"));
    r = RunShell(home + Kestrel() + " register");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("kestrel: registration failed: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("failed: 0x"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" (0x800"), std::string::npos) << r.err;
}

TEST_F(HostTest, SettingsShowsSetsAndUnsetsEveryValueOfAnApplication) {
    const std::string home = "KESTREL_HOME='" + File("home") + "' ";
    const std::string settings = home + Kestrel() + " settings";
    ShellResult r = RunShell(settings);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "no settings stored for \"kestrel\" (store: " + File("home") + ")\n");

    const std::string longName(300, 'n');
    for (const std::string& args : std::vector<std::string>{"set 'IPTVFeed\\Port' 5000", "set 'IPTVFeed\\Group' 239.1.1.1",
                                   "set 'IPTVFeed\\" + longName + "' 7", "set 'IPTVFeed\\Z' 0x10",
                                   "set 'Deep\\A\\Q' 16 --type qword", "set 'Deep\\Raw' '01 ff' --type binary",
                                   "set Top x", "set Other 1 --app other"}) {
        r = RunShell(settings + " " + args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
    }
    // An existing value keeps its type.
    r = RunShell(settings + " set 'IPTVFeed\\Port' abc");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kestrel: \"abc\" does not fit IPTVFeed\\Port, a dword (a whole number from 0 to 4294967295)\n");
    EXPECT_EQ(RunShell(settings + " unset 'IPTVFeed\\Group'").status, 0);
    r = RunShell(settings + " unset 'IPTVFeed\\Group'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kestrel: IPTVFeed\\Group is not set for \"kestrel\"\n");

    r = RunShell(settings);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Velmar\\kestrel";
    EXPECT_EQ(r.out, "store: " + File("home") + "\n" + key + "]\n  Top = text \"x\"\n" + key +
                                     "\\Deep]\n  Raw = binary: 01 ff\n" + key + "\\Deep\\A]\n  Q = qword 16\n" + key +
                                     "\\IPTVFeed]\n  Port = dword 5000 (0x00001388)\n  " + longName +
                                     " = dword 7 (0x00000007)\n  Z = dword 16 (0x00000010)\n");

    // A store that cannot be read is an error, not an empty store.
    fs::remove_all(File("home"));
    fs::create_directories(File("home/HKEY_CURRENT_USER.reg"));
    r = RunShell(settings);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("kestrel: cannot read the settings in " + File("home") + ": ", 0), 0u) << r.err;
}

TEST_F(HostTest, BadCommandLinesAndInputsGiveOneLineAndTheirStatus) {
    struct Case {
        std::string args;
        int status;
        std::string message;  // the whole of standard error; ends with "..." for a prefix
    };
    const std::string missing = File("nothing.ts");
    const std::string play = " play '" + Generate("a.ts", "--bitrate 4M --seconds 0.1") + "' --seconds 0.1";
    const Case cases[] = {
        // Usage errors: status 2.
        {"", 2, "kestrel: no command given (see 'kestrel --help')\n"},
        {" frobnicate", 2, "kestrel: unknown command \"frobnicate\" (see 'kestrel --help')\n"},
        {" --frob", 2, "kestrel: unknown option \"--frob\"\n"},
        {" --module x.ax frob --json", 2, "kestrel: unknown command \"frob\" (see 'kestrel --help')\n"},
        {" push --seconds nan", 2, "kestrel: --seconds: \"nan\" is not a number from 0 to 31536000\n"},
        {" push --seconds inf", 2, "kestrel: --seconds: \"inf\" is not a number from 0 to 31536000\n"},
        {" play x --seconds -3", 2, "kestrel: --seconds: \"-3\" is not a number from 0 to 31536000\n"},
        {" push --udp 127.0.0.1:9 --ttl 1.5", 2, "kestrel: --ttl: \"1.5\" is not a whole number from 1 to 255\n"},
        {" push --rtp", 2, "kestrel: --rtp, --ttl and --interface go with --udp ADDR:PORT\n"},
        {" passthrough", 2, "kestrel: --in is required\n"},
        {" push --frob", 2, "kestrel: ..."},
        {" iptv 239.1.2.3 --seconds 1", 2,
         "kestrel: not an address with a port: \"239.1.2.3\" (use 239.1.2.3:5000 or [ff15::1]:5000)\n"},
        {" iptv 127.0.0.1:5000 --source 127.0.0.1 --seconds 1", 2,
         "kestrel: --source needs a multicast group address\n"},
        {" iptv udp://@239.1.1.1:5000 --interface ::1 --seconds 0.1", 2,
         "kestrel: \"::1\" is an IPv6 address, but the stream is IPv4: give an IPv4 address or an interface name\n"},
        {play + " --bitrate 8x", 2,
         "kestrel: --bitrate: '8x' is not a bitrate (write bits per second: 8000000, 8M, 38.5M or 500k)\n"},
        {play + " --bitrate 200M", 2, "kestrel: --bitrate: '200M' is above 184811520 bit/s, the most the file feed paces\n"},
        {play + " --udp http://239.1.1.1:5000", 2,
         "kestrel: not a stream address: \"http://239.1.1.1:5000\" (the scheme is udp:// or rtp://)\n"},
        {play + " --udp udp://10.0.0.1@232.1.1.1:5000", 2,
         "kestrel: a source before \"@\" is for receiving (iptv), not for --udp: \"udp://10.0.0.1@232.1.1.1:5000\"\n"},
        {play + " --udp 239.1.1.1:5000 --interface nosuch0", 2,
         "kestrel: no interface is named \"nosuch0\" (see kestrel interfaces)\n"},
        // Failures: status 1.
        {" push --in '" + missing + "' --out '" + File("o") + "'", 1,
         "kestrel: cannot open " + missing + ": No such file or directory\n"},
        {" measure '" + missing + "'", 1, "kestrel: cannot open " + missing + ": No such file or directory\n"},
        {" live 'No Such Feed'", 1, "kestrel: no feed is named \"No Such Feed\" (see 'kestrel feeds')\n"},
        {" live 'File Feed' --out /dev/null", 1,
         "kestrel: \"File Feed\" is a file feed, which needs a source: use 'kestrel play'\n"},
        {" --module '" + File("none.ax") + "' push --in /dev/null", 1, "kestrel: cannot load the module ..."},
        {" push --in /dev/null --out '" + File("no/such/dir/out") + "'", 1,
         "kestrel: cannot open " + File("no/such/dir/out") + " for writing: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        ShellResult r = RunShell(Kestrel() + c.args + " > /dev/null");
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_EQ(LineCount(r.err), 1) << c.args << ": " << r.err;
        if (c.message.size() > 3 && c.message.compare(c.message.size() - 3, 3, "...") == 0) {
            EXPECT_EQ(r.err.rfind(c.message.substr(0, c.message.size() - 3), 0), 0u) << c.args << ": " << r.err;
        } else {
            EXPECT_EQ(r.err, c.message) << c.args;
        }
    }
}

TEST_F(HostTest, HelpAndVersionSpeakPlainly) {
    const ShellResult version = RunShell(Kestrel() + " --version");
    EXPECT_EQ(version.status, 0);
    const std::string& v = version.out;
    EXPECT_EQ(v.rfind("kestrel ", 0), 0u) << v;
    EXPECT_TRUE(v.size() > 9 && std::isdigit(static_cast<unsigned char>(v[8]))) << v;
    for (const char* command : {"", " play", " push", " iptv", " measure", " settings"}) {
        const ShellResult r = RunShell(Kestrel() + command + " --help");
        EXPECT_EQ(r.status, 0) << command;
        const std::string& help = r.out;
        EXPECT_NE(help.find("Usage:"), std::string::npos) << command;
        for (const char* noise : {"FLOAT", "TEXT", "INT", " in ["}) EXPECT_EQ(help.find(noise), std::string::npos) << noise << " in\n" << help;
    }
}

TEST_F(HostTest, StreamingCommandsRefuseToWriteToATerminal) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    for (const char* args : {" push --in /dev/null", " play /dev/null", " live x", " iptv 127.0.0.1:9"}) {
        ChildProcess child(Kestrel() + args, File("err"), slave);
        EXPECT_EQ(child.Wait(milliseconds(5000)), 2) << args;
        EXPECT_EQ(ReadWholeFile(File("err")),
                  "kestrel: standard output is a terminal; send the stream elsewhere with --out FILE, a redirection "
                  "(> FILE or | PROGRAM) or --udp ADDR:PORT\n")
            << args;
    }
    // An explicit file is fine, terminal or not.
    ChildProcess child(Kestrel() + " push --in /dev/null --out '" + File("o") + "'", File("err"), slave);
    EXPECT_EQ(child.Wait(milliseconds(5000)), 0) << ReadWholeFile(File("err"));
    close(master);
    close(slave);
}

TEST_F(HostTest, EveryStreamingCommandEndsOnSigintWithItsSummaryAndStatus130) {
    // SIGTERM is handled alike: one row shows it.
    const std::string file = Generate("loop.ts", "--bitrate 4000000 --seconds 1");
    ReservedUdpPort port;
    ASSERT_NE(port.Port(), 0);
    const std::string held(300'000, '\x47');  // read before the signal: it must still come out
    struct Case {
        std::string name, args;
        bool feedsInput;
        int signal = SIGINT;
    };
    const Case cases[] = {
        {"push", "push", true},
        {"push", "push", true, SIGTERM},
        {"passthrough", "passthrough --in /dev/stdin", true},
        {"live", "live 'Plinth Demo Satellite'", false},
        {"play", "play '" + file + ":LOOP:'", false},
        {"iptv", "iptv 127.0.0.1:" + std::to_string(port.Port()), false},
    };
    for (const Case& c : cases) {
        ChildProcess child(WithPlugin() + " " + c.args + " --out '" + File("out") + "'", File("err"));
        if (c.feedsInput) {
            // The pipe stays open: the input never ends by itself.
            ASSERT_EQ(write(child.Input(), held.data(), held.size()), ssize_t(held.size()));
            EXPECT_TRUE(WaitUntil([&] {
                int unread = 0;
                return ioctl(child.Input(), FIONREAD, &unread) == 0 && unread == 0;
            }));
        }
        ASSERT_TRUE(WaitUntil([&] { return child.Catches(c.signal, "kestrel"); })) << c.name;
        if (!c.feedsInput && c.name != "iptv") {
            EXPECT_TRUE(WaitUntil([&] { return fs::exists(File("out")) && fs::file_size(File("out")) > 0; }));
        }
        const auto signalled = std::chrono::steady_clock::now();
        child.Signal(c.signal);
        EXPECT_EQ(child.Wait(milliseconds(3000)), 130) << c.name << ": " << ReadWholeFile(File("err"));
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, milliseconds(1000)) << c.name;
        const std::string err = ReadWholeFile(File("err"));
        // Notes about the input (an unmeasurable file, say) may come before the summary.
        const size_t summary = err.find("command=" + c.name + " bytes=");
        EXPECT_TRUE(summary == 0 || (summary != std::string::npos && err[summary - 1] == '\n')) << err;
        if (c.feedsInput) {
            EXPECT_TRUE(ReadWholeFile(File("out")) == held) << c.name << ": " << err;
        }
        fs::remove(File("out"));
    }
}

TEST_F(HostTest, IptvThatReceivesNothingWarnsAndExitsWithStatus3) {
    ReservedUdpPort port;
    const std::string address = "127.0.0.1:" + std::to_string(port.Port());
    ShellResult r = RunShell(Kestrel() + " iptv " + address + " --seconds 0.3 --out /dev/null");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("command=iptv bytes=0 "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" lock=unlocked "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nkestrel: warning: nothing was received on " + address + "\n"), std::string::npos) << r.err;
}

TEST_F(HostTest, MeasureGivesTheGeneratorsBitrateForEachPacketSize) {
    for (int size : {188, 192, 204}) {
        // A name that is no UTF-8 and needs escapes still makes valid JSON.
        const std::string name = std::string("a\xff\xc3(\"\\\xe2\x82\xac") + std::to_string(size) + ".ts";
        const std::string file = Generate(name, "--bitrate 24000000 --seconds 4 --packet-size " + std::to_string(size));
        const ShellResult r = RunShell(Kestrel() + " measure '" + file + "' --json");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(JsonNumber(r.out, "packet_size"), size) << r.out;
        // PCR arithmetic truncates; the generator's clock is exact to the byte.
        EXPECT_NEAR(JsonNumber(r.out, "bitrate"), 24e6, 24e6 * 1e-5) << r.out;
        EXPECT_NE(r.out.find("a\\u00ff\\u00c3(\\\"\\\\\xe2\x82\xac" + std::to_string(size) + ".ts\""), std::string::npos)
            << r.out;
    }
}

TEST_F(HostTest, PlayOnceGivesTheFileBackByteForByteAndLoopingGoesOnAtItsRate) {
    std::string file = Generate("play.ts", "--bitrate 120000000 --seconds 0.5");
    ShellResult r = RunShell(Kestrel() + " play '" + file + "' --once --json --out '" + File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadWholeFile(File("out.ts")) == ReadWholeFile(file));
    EXPECT_NEAR(JsonNumber(r.err, "file_bitrate"), 120e6, 120e6 * 1e-5) << r.err;
    // Paced: a half-second file takes about half a second.
    EXPECT_GT(JsonNumber(r.err, "seconds"), 0.3);
    EXPECT_LT(JsonNumber(r.err, "seconds"), 3.0);

    // Looping runs for the time asked, at the file's rate, and goes round without a gap.
    r = RunShell(Kestrel() + " play '" + file + ":LOOP:' --seconds 1.2 --out '" + File("loop.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string in = ReadWholeFile(file), out = ReadWholeFile(File("loop.ts"));
    ASSERT_GT(out.size(), in.size() + 188 * 100);
    EXPECT_EQ(out.compare(0, in.size(), in), 0);
    EXPECT_EQ(out.compare(in.size(), 188 * 100, in, 0, 188 * 100), 0);
    EXPECT_GT(out.size(), 120e6 / 8 * 0.9);
    EXPECT_LT(out.size(), 120e6 / 8 * 2.0);

    // Without a path: the file feed's settings stored for the application, as its dialog
    // leaves them; a file stored without looping plays once, at the stored rate when locked.
    const std::string home = "KESTREL_HOME='" + File("home") + "' ";
    r = RunShell(home + Kestrel() + " play --app none --out '" + File("none.ts") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kestrel: no file is stored for the application \"none\": give PATH, or choose one with "
                     "'kestrel configure file --app none'\n");
    const std::pair<std::string, std::string> stored[] = {
        {"LastFile", file}, {"Loop", "0"}, {"Bitratelock", "1"}, {"Bitrate", "60000000"}};
    for (const auto& [name, value] : stored) {
        const std::string set = " settings --app stored set 'FileFeed\\" + name + "' '" + value + "'";
        ASSERT_EQ(RunShell(home + Kestrel() + set).status, 0) << set;
    }
    r = RunShell(home + Kestrel() + " play --app stored --json --out '" + File("stored.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadWholeFile(File("stored.ts")) == in);
    EXPECT_EQ(JsonNumber(r.err, "file_bitrate"), 60e6) << r.err;
    EXPECT_GT(JsonNumber(r.err, "seconds"), 0.6) << r.err;
}

TEST_F(HostTest, PlayForSecondsWritesWholePacketsAndReportsTheRateItRanAt) {
    // Over 5 MiB so that the rate is measured; 100 ms blocks of 8 Mbit/s are no whole
    // number of 204-byte packets.
    const std::string file = Generate("p.ts", "--bitrate 8000000 --seconds 6 --packet-size 204");
    ShellResult r = RunShell(Kestrel() + " play '" + file + "' --seconds 1 --json --out '" + File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = ReadWholeFile(File("out.ts"));
    ASSERT_GT(out.size(), 0u);
    EXPECT_EQ(out.size() % 204, 0u) << out.size();
    EXPECT_EQ(JsonNumber(r.err, "bytes"), double(out.size())) << r.err;
    // Within 0.5% over 5 s; a 1 s run gets five times the room.
    const double rate = JsonNumber(r.err, "file_bitrate");
    EXPECT_NEAR(JsonNumber(r.err, "bitrate"), rate, rate * 0.025) << r.err;
}

TEST_F(HostTest, PlayReStreamedOverUdpAndRtpIsReceivedByteExactByIptv) {
    const std::string file = Generate("send.ts", "--bitrate 25000000 --seconds 2.2");  // over 5 MiB: measurable
    ReservedUdpPort ports[6];
    auto at = [&](int i) { return std::to_string(ports[i].Port()); };
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
        // No address: the port stored for the application, on the feed's default address.
        {"--app stored", "--udp 127.0.0.1:" + at(5), "env KESTREL_HOME='" + File("home") + "' "},
    };
    ASSERT_EQ(RunShell("KESTREL_HOME='" + File("home") + "' " + Kestrel() + " settings --app stored set 'IPTVFeed\\Port' " +
                       at(5)).status,
              0);
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
    std::vector<std::unique_ptr<ChildProcess>> receivers;
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::to_string(i);
        receivers.push_back(std::make_unique<ChildProcess>(
            cases[i].prefix + Kestrel() + " iptv " + cases[i].receive + " --seconds 5 --json --out '" +
                File("got" + n + ".ts") + "'",
            File("iptv" + n + ".err")));
    }
    // A receiver that handles signals has parsed its command line and is about to bind.
    for (auto& receiver : receivers) ASSERT_TRUE(WaitUntil([&] { return receiver->Catches(SIGINT, "kestrel"); }));
    std::this_thread::sleep_for(milliseconds(300));
    std::string senders;
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::to_string(i);
        senders += "(" + cases[i].prefix + Kestrel() + " play '" + file + "' --once " + cases[i].send + " 2>'" +
                   File("play" + n + ".err") + "' || echo " + n + " >>'" + File("failed") + "') & ";
    }
    ASSERT_EQ(std::system((senders + "wait").c_str()), 0);
    EXPECT_EQ(ReadWholeFile(File("failed")), "");
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::to_string(i);
        // Each receiver ends by itself after its time.
        EXPECT_EQ(receivers[i]->Wait(std::chrono::seconds(10)), 0) << cases[i].receive;
        const std::string summary = ReadWholeFile(File("iptv" + n + ".err"));
        EXPECT_TRUE(ReadWholeFile(File("got" + n + ".ts")) == ReadWholeFile(file))
            << cases[i].send << ": the received bytes differ from the file; " << summary
            << ReadWholeFile(File("play" + n + ".err"));
        EXPECT_NE(summary.find("\"rtp_lost\":0"), std::string::npos) << summary;
        EXPECT_NE(summary.find("\"lock\":1"), std::string::npos) << summary;
    }
}
