// The satip commands as a person runs them, against the simulator in a namespace.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstring>

#include "tests/feeds_satip_session/SatIpSimSupport.h"

namespace {

using namespace satip_feed_test;

class SatipCommand : public ProgramTestDir {
protected:
    static void SetUpTestSuite() { ns_ = new SimNamespace("hsc"); }
    static void TearDownTestSuite() { delete ns_; }
    void SetUp() override {
        ProgramTestDir::SetUp();
        if (!ns_->Ready()) GTEST_SKIP() << "a network namespace cannot be set up here (needs root)";
    }
    ShellResult Kestrel(const std::string& args) const {
        return RunShell("KESTREL_HOME='" + dir_.string() + "' ip netns exec " + ns_->Name() + " " +
                        ProgramTestDir::Kestrel() + " " + args);
    }
    static inline SimNamespace* ns_ = nullptr;
};

TEST_F(SatipCommand, DiscoverFindsTheServer) {
    Sim sim(*ns_, dir_.string(), "--name 'Test Box' --caps DVBS2-2,DVBC-1");
    ASSERT_TRUE(sim.Ready());
    const ShellResult json = Kestrel("satip discover --seconds 3 --json");
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, "[{\"name\":\"Test Box\",\"address\":\"10.231.0.1\",\"tuners\":\"DVB-S2,DVB-C\"}]\n");
    const ShellResult text = Kestrel("satip discover --seconds 2");
    EXPECT_EQ(text.out, "Test Box\t10.231.0.1\tDVB-S2,DVB-C\n");
}

TEST_F(SatipCommand, PlayWritesTheServersStreamByteExactInEveryMode) {
    Sim sim(*ns_, dir_.string(), "");
    ASSERT_TRUE(sim.Ready());
    for (const char* mode : {"http", "unicast", "multicast"}) {
        SCOPED_TRACE(mode);
        const std::string out = File(std::string(mode) + ".ts");
        const ShellResult r = Kestrel(std::string("satip play --first --mode ") + mode +
                                      " --seconds 3 --json --out '" + out + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(std::string("\"mode\":\"") + mode + "\""), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\"server\":\"10.231.0.1\""), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\"lock\":1"), std::string::npos) << r.err;
        const std::string written = ReadWholeFile(out);
        EXPECT_GT(written.size(), 1'500'000u);
        const std::vector<uint8_t> reference = SimReference(written.size());
        EXPECT_EQ(std::memcmp(written.data(), reference.data(), written.size()), 0);
    }
}

TEST_F(SatipCommand, StoredSettingsServeLaterRuns) {
    Sim sim(*ns_, dir_.string(), "");
    ASSERT_TRUE(sim.Ready());
    const ShellResult first = Kestrel("satip play --server 10.231.0.1 --mode http --pids 0,16 --seconds 1 --save --out /dev/null");
    ASSERT_EQ(first.status, 0) << first.err;
    const ShellResult stored = Kestrel("settings");
    EXPECT_NE(stored.out.find("SAT2IPFeed"), std::string::npos) << stored.out;
    // No server flag: the stored manual address and mode are used.
    const ShellResult again = Kestrel("satip play --seconds 1 --json --out /dev/null");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("\"mode\":\"http\""), std::string::npos) << again.err;
}

TEST_F(SatipCommand, FailuresReadAsOneClearLine) {
    struct Case {
        const char* simArgs;  // null: no simulator
        const char* args;
        const char* line;
    } cases[] = {
        {nullptr, "satip play --first --out /dev/null", "kestrel: no SAT>IP server found\n"},
        {"--caps DVBS2-1", "satip play --server 10.231.0.1 --mode unicast --system dvbc --out /dev/null",
         "kestrel: SAT>IP server 10.231.0.1 refused SETUP: 503 Service Unavailable\n"},
        {"--no-data", "satip play --server 10.231.0.1 --mode unicast --seconds 20 --out /dev/null",
         "kestrel: no data arrives from SAT>IP server 10.231.0.1\n"},
        {nullptr, "satip play --server 10.231.0.1 --mode unicast --out /dev/null",
         "kestrel: no RTSP connection to SAT>IP server 10.231.0.1\n"},
        {"", "satip play --server 10.231.0.1 --pids 9000 --out /dev/null",
         "kestrel: --pids 9000: not a list of PIDs below 8192, all or none\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::unique_ptr<Sim> sim;
        if (c.simArgs) {
            sim = std::make_unique<Sim>(*ns_, dir_.string(), c.simArgs);
            ASSERT_TRUE(sim->Ready());
        }
        const ShellResult r = Kestrel(c.args);
        EXPECT_NE(r.status, 0);
        // A run that got going prints its summary first.
        EXPECT_TRUE(r.err.ends_with(c.line)) << r.err;
        EXPECT_LE(LineCount(r.err), 2);
    }
}

TEST_F(SatipCommand, AServerThatDiesMidStreamIsAConnectionLost) {
    Sim sim(*ns_, dir_.string(), "");
    ASSERT_TRUE(sim.Ready());
    ChildProcess play("env KESTREL_HOME='" + dir_.string() + "' ip netns exec " + ns_->Name() + " " +
                          ProgramTestDir::Kestrel() + " satip play --server 10.231.0.1 --mode http --out /dev/null",
                      File("play.err"));
    std::this_thread::sleep_for(1500ms);
    sim.Process().Signal(SIGKILL);
    EXPECT_EQ(play.Wait(4s), 1);
    EXPECT_TRUE(ReadWholeFile(File("play.err")).ends_with("\nkestrel: connection lost to SAT>IP server 10.231.0.1\n"));
}

}  // namespace
