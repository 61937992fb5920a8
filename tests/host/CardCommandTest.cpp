// kestrel with simulated cards declared in cards.conf, as a person runs it: the list,
// a stream compared byte for byte with the card's source, tuning, lock and signal.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/sim/PacedStream.h"
#include "tests/support/ProgramTestDir.h"

namespace {

class CardCommand : public ProgramTestDir {
protected:
    void Declare(const std::string& text) { std::ofstream(File("cards.conf")) << text; }
    std::string Kestrel() const { return "KESTREL_HOME='" + dir_.string() + "' " + ProgramTestDir::Kestrel(); }
    std::vector<uint8_t> Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

constexpr const char* kCards =
    "[QUARNOX0]\n"
    "tuner = 2\n"
    "rate = 6M      # generated\n"
    "seed = 5\n"
    "offset = 187\n"
    "lock-delay = 100\n"
    "signal = 50%\n"
    "driver = 9.9\n"
    "[QUARNOX1]\n"
    "tuner = 3\n"
    "never-lock = yes\n"
    "[QUARNOX3]\n"
    "tuner = 4\n";

}  // namespace

TEST_F(CardCommand, FeedsListsTheDeclaredCardsUpToTheFirstGapAndNamesABadLine) {
    Declare(kCards);
    ShellResult r = RunShell(Kestrel() + " feeds");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("DVB-S (1)         \\\\.\\QUARNOX0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Velmar SAA7146 DVB Card 0 (Driver 9.9)"), std::string::npos);
    EXPECT_NE(r.out.find("DVB-C (2)         \\\\.\\QUARNOX1"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("QUARNOX3"), std::string::npos) << "index 2 is missing, so 3 is never probed";
    EXPECT_EQ(r.err, "");

    Declare("[QUARNOX0]\ntuner = 2\nsignal = 120%\n");
    r = RunShell(Kestrel() + " feeds");
    EXPECT_EQ(r.out.find("QUARNOX0"), std::string::npos);
    EXPECT_EQ(r.err, "kestrel: cards.conf:3: signal takes 0 to 65535 or 0% to 100%\n");

    std::filesystem::remove(File("cards.conf"));
    r = RunShell(Kestrel() + " feeds");
    EXPECT_EQ(r.out.find("QUARNOX"), std::string::npos) << "no declaration, no card";
}

TEST_F(CardCommand, LiveGivesExactlyTheCardsSourcePacketsInOrder) {
    Declare(kCards);
    const ShellResult r =
        RunShell(Kestrel() + " live '\\\\.\\QUARNOX0' --seconds 1.5 --json --out '" + File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<uint8_t> out = Read("out.ts");
    ASSERT_GT(out.size(), 400'000u);
    ASSERT_EQ(out.size() % 188, 0u);

    PacedStreamSource declared;
    declared.bitrate = 6'000'000;
    declared.seed = 5;
    const std::vector<uint8_t> source = PacedStream::Reference(declared, 188 + out.size());
    // The card starts at byte 187: its first packet is the source's second.
    ASSERT_NE(source[187], 0x47) << "a false sync would shift the comparison";
    EXPECT_TRUE(std::equal(out.begin(), out.end(), source.begin() + 188)) << "first difference at "
        << std::mismatch(out.begin(), out.end(), source.begin() + 188).first - out.begin();
    EXPECT_EQ(JsonNumber(r.err, "bytes"), static_cast<double>(out.size()));
}

TEST_F(CardCommand, TuningShowsLockAndSignalAsTheyCome) {
    Declare(kCards);
    struct Case {
        std::string card, tune;
        int lock;
        double signal;
    };
    const Case cases[] = {{"QUARNOX0", "freq=11836,sr=27500,pol=v,diseqc=C", 1, 32767},
                          {"QUARNOX1", "freq=346,sr=6900,modulation=qam256", 0, 0}};
    for (const Case& c : cases) {
        const ShellResult r = RunShell(Kestrel() + " live '\\\\.\\" + c.card + "' --seconds 0.8 --json --out /dev/null --tune " +
                                       c.tune + " --diseqc 'E0 10 38 F0'");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(JsonNumber(r.err, "lock"), c.lock) << r.err;
        EXPECT_EQ(JsonNumber(r.err, "signal"), c.signal) << r.err;
        EXPECT_EQ(JsonNumber(r.err, "lock_changes"), c.lock) << r.err;
        if (c.lock) {
            EXPECT_GE(JsonNumber(r.err, "locked_after"), 0.08) << "the card's lock delay";
        }
    }
}

TEST_F(CardCommand, BadTuningIsRefusedWithOneLine) {
    Declare(kCards);
    const std::pair<std::string, std::string> cases[] = {
        {"--tune freq=11836,volume=3", "kestrel: --tune: unknown key \"volume\""},
        {"--tune freq=11836,bw=8", "kestrel: --tune: \"bw\" does not apply to this delivery system\n"},
        {"--diseqc E0", "--diseqc: \"E0\" is not a DiSEqC message of 3 to 6 hexadecimal bytes"},
    };
    for (const auto& [options, message] : cases) {
        const ShellResult r = RunShell(Kestrel() + " live '\\\\.\\QUARNOX0' --seconds 0.2 --out /dev/null " + options);
        EXPECT_NE(r.status, 0) << options;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(LineCount(r.err), 1) << r.err;
    }
}
