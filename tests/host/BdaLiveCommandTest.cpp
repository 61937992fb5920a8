// 'kestrel feeds' and 'kestrel live' with tuners declared in the settings directory.
#include <filesystem>
#include <fstream>

#include "platform/sim/PacedStream.h"
#include "tests/support/ProgramTestDir.h"

namespace {

constexpr const char* kTuners =
    "[tuner]\nname = Sim DVB-T\nnetwork = DVB-T\nseed = 5\nbitrate = 4000000\n"
    "[tuner]\nname = Sim DVB-S2\nnetwork = DVB-S\n"
    "[tuner]\nname = mystery box\nnetwork = DVB-C\n"
    "[tuning-space]\nname = Terrestrial\nnetwork = DVB-T\n";

class BdaLiveCommand : public ProgramTestDir {
protected:
    void SetUp() override {
        ProgramTestDir::SetUp();
        std::filesystem::create_directories(File("home"));
        std::ofstream(File("home/tuners.conf")) << kTuners;
    }
    ShellResult Kestrel(const std::string& args) const {
        return RunShell("KESTREL_HOME='" + File("home") + "' " + ProgramTestDir::Kestrel() + " " + args);
    }
};

TEST_F(BdaLiveCommand, FeedsListsTheTunersWithTheirTypes) {
    const ShellResult r = Kestrel("feeds");
    ASSERT_EQ(r.status, 0) << r.err;
    // index, type in words with its code, name, details
    const std::vector<std::vector<std::string>> rows = {{"  0  DVB-T (3) ", " Sim DVB-T ", " BDA: Sim DVB-T"},
                                                        {"  1  DVB-S2 (7) ", " Sim DVB-S2 ", " BDA: Sim DVB-S2"},
                                                        // nobody can be asked which system this name serves
                                                        {"  2  ", " (-1) ", " mystery box ", " BDA: mystery box"}};
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(r.out.substr(at, end - at));
    ASSERT_GE(lines.size(), rows.size()) << r.out;
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(rows[i][0], 0), 0u) << lines[i];
        for (const std::string& part : rows[i]) EXPECT_NE(lines[i].find(part), std::string::npos) << lines[i];
    }
}

TEST_F(BdaLiveCommand, LiveGivesExactlyTheTunersPacketsInOrder) {
    const ShellResult r = Kestrel("live 'Sim DVB-T' --seconds 1 --out '" + File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string got = ReadWholeFile(File("out.ts"));
    ASSERT_GT(got.size(), 188u * 100);
    ASSERT_EQ(got.size() % 188, 0u);
    PacedStreamSource declared;
    declared.seed = 5;
    declared.bitrate = 4'000'000;
    const auto want = PacedStream::Reference(declared, got.size());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), reinterpret_cast<const uint8_t*>(got.data())));
}

TEST_F(BdaLiveCommand, AFailedStartPrintsTheFeedsTextAndWhereTheLogIs) {
    struct Case {
        const char* args;
        std::string config;
        std::string lastLine;
        bool logNamed;
    };
    const Case cases[] = {
        {"live 'Sim DVB-S2'", kTuners, "kestrel: Unable to find correct tuningspace.", false},
        {"live 'Sim DVB-T'", std::string(kTuners) + "[graph]\nexport-filter = refuses\n",
         "kestrel: Unable to connect helper filter. Your BDA drivers are not compatible to this software.A debug "
         "log (C:\\Brix BDA Log.txt) has been created.",
         true},
        // 5 MHz parses but no tune request can carry it: --tune reached the start.
        {"live 'Sim DVB-T' --tune freq=506,bw=5", kTuners, "kestrel: Unable to build BDA tune request.", false},
        {"live 'Sim DVB-T' --tune freq=506,bw=9", kTuners, "", false},
        {"live 'No such tuner' --tune freq=506", kTuners, "", false},
    };
    for (const Case& c : cases) {
        std::ofstream(File("home/tuners.conf")) << c.config;
        const ShellResult r = Kestrel(std::string(c.args) + " --seconds 1 --out '" + File("x.ts") + "'");
        EXPECT_NE(r.status, 0) << c.args;
        if (!c.lastLine.empty()) EXPECT_EQ(r.err, (c.logNamed ? "kestrel: the connect log is " + File("home") +
                                                                   "/drive_c/Brix BDA Log.txt\n"
                                                             : std::string()) +
                                                      c.lastLine + "\n")
            << c.args;
        else
            EXPECT_EQ(LineCount(r.err), 1) << r.err;
    }
}

TEST_F(BdaLiveCommand, TunedStartLocks) {
    const ShellResult r = Kestrel("live 'Sim DVB-T' --tune freq=506,bw=7 --seconds 0.3 --json --out '" + File("t.ts") +
                                  "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(JsonNumber(r.err, "lock"), 1) << r.err;
    EXPECT_GT(std::filesystem::file_size(File("t.ts")), 0u);
}

}  // namespace
