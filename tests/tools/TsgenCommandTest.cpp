// Runs the built tsgen program the way a user would.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ProgramTestDir.h"

namespace fs = std::filesystem;

namespace {

class TsgenCommand : public ProgramTestDir {
protected:
    // Arguments are plain words and paths here, so single quotes suffice for the shell.
    ShellResult Run(const std::vector<std::string>& args) {
        std::string command = "'" + TestBinDir() + "/tsgen'";
        for (const std::string& a : args) command += " '" + a + "'";
        return RunShell(command);
    }
};

}  // namespace

TEST_F(TsgenCommand, WritesExactlyTheWholePacketsOfTheDuration) {
    const std::string file = File("a.ts");
    auto r = Run({"--bitrate", "4000000", "--seconds", "1", "--out", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(fs::file_size(file), 2659u * 188);

    r = Run({"--seconds", "0.5", "--packet-size", "204", "--out", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs::file_size(file), 1225u * 204);  // default 4 Mbit/s

    r = Run({"--packets", "10", "--packet-size", "192", "--pcr-pid", "0x1000", "--start-pcr", "0X10", "--out", "-"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 10u * 192);
    for (size_t k = 0; k < 10; ++k) EXPECT_EQ(static_cast<uint8_t>(r.out[k * 192 + 4]), 0x47);
    EXPECT_EQ(static_cast<uint8_t>(r.out[4 + 1]) & 0x1F, 0x10);  // PCR packet on PID 0x1000
    EXPECT_EQ(static_cast<uint8_t>(r.out[4 + 2]), 0x00);
    EXPECT_EQ(std::string("\0\0\0\x10", 4), r.out.substr(0, 4)) << "the first timestamp is the start clock";
}

TEST_F(TsgenCommand, BadArgumentsGiveOneClearLine) {
    const std::string file = File("b.ts");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bitrate", "8x", "--seconds", "1", "--out", file},
         "tsgen: --bitrate: '8x' is not a bitrate (write bits per second: 8000000, 8M, 38.5M or 500k)\n"},
        {{"--pcr-pid", "8191", "--seconds", "1", "--out", file}, "tsgen: PCR PID 0x1FFF is outside 0x0010..0x1FFE\n"},
        {{"--out", file}, "tsgen: one of --seconds or --packets is required\n"},
        {{"--packets", "0", "--out", file}, "tsgen: --packets must be at least 1\n"},
        {{"--seconds", "1.x", "--out", file}, "tsgen: --seconds: '1.x' is not a number of seconds\n"},
        {{"--seconds", "0.0001", "--out", file}, "tsgen: --seconds 0.0001 holds no whole packet at 4000000 bits/s\n"},
        {{"--seconds", "1", "--out", "/nonexistent-dir/x.ts"},
         "tsgen: cannot open /nonexistent-dir/x.ts: No such file or directory\n"},
    };
    for (const auto& [args, expected] : cases) {
        const auto r = Run(args);
        EXPECT_NE(r.status, 0) << expected;
        EXPECT_EQ(r.err, expected);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(file));

    // Parser complaints are single lines too.
    for (const auto& args : std::vector<std::vector<std::string>>{{"--seconds", "1"},
                                                                   {"--seconds", "1", "--packets", "3", "--out", file},
                                                                   {"--bogus", "--seconds", "1", "--out", file}}) {
        const auto r = Run(args);
        EXPECT_EQ(r.status, 2);
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.rfind("tsgen: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    const auto help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--bitrate", "--seconds", "--packets", "--packet-size", "--pcr-pid",
                               "--pcr-interval-ms", "--start-pcr", "--out", "--seed"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}
