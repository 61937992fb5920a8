// play, measure, iptv and interfaces as users run them: rates, refusals, the whole
// file's average, addresses and interfaces in the forms users type.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/NetNamespace.h"
#include "tests/support/ProgramTestDir.h"

namespace fs = std::filesystem;
using MediaCommand = ProgramTestDir;

TEST_F(MediaCommand, PlayAndMeasureRefuseWhatIsNoReadableStreamBeforeStarting) {
    std::ofstream(File("passwd")) << "root:x:0:0:root:/root:/bin/bash\nGnats:x:41:41::/var/lib/gnats:/bin/sh\n";
    std::ofstream(File("empty.ts")).flush();
    ASSERT_EQ(mkfifo(File("fifo").c_str(), 0600), 0);
    fs::create_directory(File("dir"));
    const std::pair<std::string, std::string> cases[] = {
        {File("passwd"), File("passwd") + " is not a transport stream (no sync bytes 188, 192 or 204 bytes apart "
                                          "in its first 10,240 bytes)"},
        {File("empty.ts"), File("empty.ts") + " is empty"},
        {File("dir"), "cannot open " + File("dir") + ": Is a directory"},
        {File("fifo"), "cannot open " + File("fifo") + ": not a regular file"},
        {File("none.ts"), "cannot open " + File("none.ts") + ": No such file or directory"},
    };
    for (const auto& [path, message] : cases) {
        for (const std::string& command : {" play '" + path + "' --once --out '" + File("o.ts") + "'",
                                          " measure '" + path + "' >/dev/null"}) {
            const ShellResult r = RunShell(Kestrel() + command);
            EXPECT_EQ(r.status, 1) << command;
            EXPECT_EQ(r.err, "kestrel: " + message + "\n");
        }
        EXPECT_FALSE(fs::exists(File("o.ts"))) << path;
    }

    // A file its user may not read (the test drops to an unprivileged user when it runs as root).
    const std::string locked = Generate("locked.ts", "--bitrate 4M --seconds 0.2");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_write);
    const std::string as = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const ShellResult r = RunShell(as + Kestrel() + " play '" + locked + "' --once --out /dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kestrel: cannot open " + locked + ": Permission denied\n");
}

TEST_F(MediaCommand, PlaySaysWhichRateItUsesWhenTheFileCannotBeMeasured) {
    const std::string file = Generate("short.ts", "--bitrate 4M --seconds 0.5");
    const std::string why = "kestrel: the bitrate of " + file +
                            " cannot be measured: the measurement reads the 5 MiB that follow the first 5 MiB, "
                            "and the file has only " + std::to_string(fs::file_size(file)) + " bytes; playing at ";
    struct Case {
        std::string options;
        long long rate;
        std::string note;
    };
    const Case cases[] = {
        {"--seconds 0.2", 4'014'705,
         "4014705 bit/s (4.015 Mbit/s), the default (--bitrate 4000000 plays it at the file's average)"},
        {"--once --bitrate 40M", 40'000'000, "40000000 bit/s (40.000 Mbit/s) as --bitrate asks"},
        {"--seconds 0.2 --bitrate 500k", 500'000, "500000 bit/s (0.500 Mbit/s) as --bitrate asks"},
    };
    for (const Case& c : cases) {
        const ShellResult r =
            RunShell(Kestrel() + " play '" + file + "' " + c.options + " --json --out '" + File("o.ts") + "'");
        ASSERT_EQ(r.status, 0) << c.options << ": " << r.err;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), why + c.note + "\n");
        EXPECT_EQ(LineCount(r.err), 2) << r.err;
        EXPECT_EQ(JsonNumber(r.err, "file_bitrate"), c.rate) << r.err;
        EXPECT_EQ(JsonNumber(r.err, "measured_bitrate"), 0) << r.err;
        EXPECT_EQ(JsonNumber(r.err, "average_bitrate"), 4'000'000) << r.err;
        if (c.options.find("--once") != std::string::npos) {
            EXPECT_TRUE(ReadWholeFile(File("o.ts")) == ReadWholeFile(file)) << "--once at the asked rate gives it whole";
        }
    }
}

// 2.2 s at 25 Mbit/s (over 5 MiB, so the filter measures 25 Mbit/s) and then 4 s at
// 2.5 Mbit/s with the clock running on: about 10.5 Mbit/s from the first to the last PCR.
TEST_F(MediaCommand, PlayWarnsWhenTheMeasuredRateIsNotTheFilesAverageAndMeasureShowsBoth) {
    const std::string fast = Generate("fast.ts", "--bitrate 25M --seconds 2.2");
    Generate("slow.ts", "--bitrate 2.5M --seconds 4 --start-pcr 59400000");
    ASSERT_EQ(RunShell("cat '" + fast + "' '" + File("slow.ts") + "' > '" + File("vbr.ts") + "'").status, 0);

    const ShellResult measured = RunShell(Kestrel() + " measure '" + File("vbr.ts") + "' --json");
    ASSERT_EQ(measured.status, 0) << measured.err;
    EXPECT_NEAR(JsonNumber(measured.out, "bitrate"), 25e6, 25e6 * 1e-5) << measured.out;
    const double bytes = double(fs::file_size(File("vbr.ts")));
    const double average = JsonNumber(measured.out, "average_bitrate");
    EXPECT_NEAR(average, bytes * 8 / 6.2, 0.01 * bytes * 8 / 6.2) << measured.out;
    const std::string averageText = std::to_string(static_cast<long long>(average));
    EXPECT_EQ(JsonNumber(measured.out, "pcr_discontinuities"), 0) << measured.out;
    EXPECT_EQ(JsonNumber(measured.out, "pcr_count"), 55 + 100) << measured.out;

    const ShellResult warned = RunShell(Kestrel() + " play '" + File("vbr.ts") + "' --seconds 0.1 --out /dev/null");
    ASSERT_EQ(warned.status, 0) << warned.err;
    EXPECT_NE(warned.err.find("differs by more than 10% from the file's average from its first to its last PCR, " +
                              averageText + " bit/s"),
              std::string::npos)
        << warned.err;
    EXPECT_NE(warned.err.find("(--bitrate " + averageText + " plays it at the average)\n"),
              std::string::npos)
        << warned.err;
    const ShellResult steady = RunShell(Kestrel() + " play '" + fast + "' --seconds 0.1 --out /dev/null");
    ASSERT_EQ(steady.status, 0) << steady.err;
    EXPECT_EQ(LineCount(steady.err), 1) << "the summary alone: " << steady.err;
}

TEST_F(MediaCommand, MeasureTellsWhatItCanOfAShortFile) {
    const std::string file = Generate("short.ts", "--bitrate 4M --seconds 0.5 --packet-size 204");
    const ShellResult text = RunShell(Kestrel() + " measure '" + file + "'");
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, file + ": " + std::to_string(fs::file_size(file)) +
                            " bytes, packets of 204 bytes\n"
                            "  bitrate: not measured: the measurement reads the 5 MiB that follow the first 5 MiB, "
                            "and the file has only " + std::to_string(fs::file_size(file)) + " bytes\n"
                            "  average: 4000000 bit/s (4.000 Mbit/s) over the whole file, from its first to its last PCR\n"
                            "  duration: 0.480 s from the first to the last PCR (13 PCRs on PID 0x0100)\n");
    EXPECT_EQ(text.err, "");
    const ShellResult json = RunShell(Kestrel() + " measure '" + file + "' --json");
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find(",\"packet_size\":204,\"bitrate\":0,\"bitrate_unmeasured\":\"the measurement reads the 5 MiB "),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find(",\"average_bitrate\":4000000,\"pcr_seconds\":0.480,\"pcr_pid\":256,\"pcr_count\":13,"
                            "\"pcr_discontinuities\":0}\n"),
              std::string::npos)
        << json.out;

    const std::string noPcr = Generate("nopcr.ts", "--bitrate 4M --seconds 0.2 --pcr-interval-ms 0");
    const ShellResult packetsOnly = RunShell(Kestrel() + " measure '" + noPcr + "'");
    EXPECT_EQ(packetsOnly.status, 0) << "the packet size is something to tell";
    EXPECT_NE(packetsOnly.out.find("  average: unknown: the file has no PCR\n"), std::string::npos) << packetsOnly.out;
}

// In a namespace of the test's own, with the veth pair kva (10.66.0.1, fd06::1) and kvb:
// play re-streams to a group in the forms users type, iptv receives it on the
// interface named or given by address, and `interfaces` lists what is there.
TEST_F(MediaCommand, StreamsAndReceivesOnInterfacesNamedAsUsersTypeThem) {
    NetNamespace ns("media");
    ASSERT_TRUE(ns.Created());
    ASSERT_TRUE(ns.In("link add kva type veth peer name kvb") && ns.In("addr add 10.66.0.1/24 dev kva") &&
                ns.In("addr add fd06::1/64 dev kva nodad") && ns.In("link set kva up") && ns.In("link set kvb up"));
    const std::string in = "ip netns exec " + ns.Name() + " ";
    const std::string file = Generate("s.ts", "--bitrate 4M --seconds 0.5");
    struct Case {
        std::string receive, send;
        bool arrives = true;
    };
    const Case cases[] = {
        // rtp:// puts the receiver in RTP-only mode: it takes nothing unless the sender wraps in RTP.
        {"iptv rtp://@239.1.2.3:5000 --interface kva", "--udp rtp://239.1.2.3:5000 --interface 10.66.0.1"},
        {"iptv rtp://@239.1.2.3:5000 --interface kva", "--udp udp://239.1.2.3:5000 --interface kva", false},
        {"iptv udp://@[ff15::1]:5000 --interface fd06::1", "--udp udp://[ff15::1]:5000 --interface kva"},
        {"iptv udp://10.66.0.1@232.1.2.3:5000 --interface kva", "--udp 232.1.2.3:5000 --interface kva"},
    };
    for (const Case& c : cases) {
        ShellResult received;
        std::thread receiver([&] {
            received = RunShell(in + Kestrel() + " " + c.receive + " --seconds 0.8 --json --out '" + File("r.ts") + "'");
        });
        const ShellResult sent =
            RunShell(in + Kestrel() + " play '" + file + ":LOOP:' " + c.send + " --seconds 1.2 --out /dev/null");
        receiver.join();
        EXPECT_EQ(sent.status, 0) << c.send << ": " << sent.err;
        EXPECT_EQ(JsonNumber(received.err, "datagrams") > 0, true) << c.receive << ": " << received.err;
        EXPECT_EQ(JsonNumber(received.err, "bytes") > 0, c.arrives) << c.receive << " from " << c.send << ": " << received.err;
        EXPECT_EQ(JsonNumber(received.err, "lock"), c.arrives ? 1 : 0) << c.receive << ": " << received.err;
    }

    const ShellResult listed = RunShell(in + Kestrel() + " interfaces");
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("  1  lo              up,loopback"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("up,multicast           10.66.0.1 fd06::1"), std::string::npos) << listed.out;
    EXPECT_EQ(LineCount(listed.out), 3) << listed.out;
    const ShellResult json = RunShell(in + Kestrel() + " interfaces --json");
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("{\"index\":1,\"name\":\"lo\",\"up\":true,\"loopback\":true,"), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"name\":\"kva\",\"up\":true,\"loopback\":false,\"multicast\":true,\"addresses\":"
                            "[\"10.66.0.1\",\"fd06::1\""),
              std::string::npos)
        << json.out;
}
