// The commands that open windows, without a display; and 'run', which needs none,
// streaming from a stored filter state.
#include <gtest/gtest.h>

#include "filter/TSFeedInterfaces.h"
#include "host/FilterStateFile.h"
#include "host/KestrelModule.h"
#include "tests/support/ProgramTestDir.h"

namespace {

using DesktopCommand = ProgramTestDir;

constexpr const char* kNoDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY ";

// Writes the state a filter in that mode would store.
void StoreState(const std::string& file, uint32_t mode, const std::string& source) {
    KestrelModule module;
    ASSERT_TRUE(module.Load(TestBinDir() + "/Kestrel.ax")) << module.Error();
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(module.CreateFilter(&filter), S_OK);
    ComPtr<ITSFeedControl> control;
    ASSERT_EQ(filter.As(IID_ITSFeedControl, &control), S_OK);
    control->SetMode(mode, source.c_str());
    std::string error;
    ASSERT_TRUE(FilterStateFile(file).SaveFrom(filter.Get(), &error)) << error;
}

TEST_F(DesktopCommand, WindowCommandsSayInOneLineThatThereIsNoDisplay) {
    for (const std::string command : {" configure file", " configure 'No such feed' --app x", " properties",
                                      " properties --state '/tmp/x.bin'"}) {
        const ShellResult r = RunShell(kNoDisplay + std::string("KESTREL_HOME='") + File("home") + "' " + Kestrel() + command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, "kestrel: no display: neither DISPLAY nor WAYLAND_DISPLAY is set\n") << command;
        EXPECT_EQ(r.out, "") << command;
    }
}

// Under the tests' own virtual display: what is refused before any window opens.
TEST_F(DesktopCommand, WindowCommandsRefuseUnknownFeedsAndForeignStates) {
    std::ofstream(File("junk.bin")) << "not a filter state";
    const std::pair<std::string, std::string> cases[] = {
        {" configure 'No such feed'", "kestrel: no feed is named \"No such feed\" (see 'kestrel feeds')\n"},
        {" properties --state '" + File("junk.bin") + "'", "kestrel: " + File("junk.bin") + " is no filter state the filter takes: "},
    };
    for (const auto& [command, message] : cases) {
        const ShellResult r = RunShell("KESTREL_HOME='" + File("home") + "' " + Kestrel() + command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err.substr(0, message.size()), message) << command;
    }
}

TEST_F(DesktopCommand, RunStreamsFromTheStoredStateWithoutADisplay) {
    const std::string ts = Generate("in.ts", "--bitrate 4M --seconds 0.5");
    StoreState(File("state.bin"), kModeFile, ts);
    const ShellResult r = RunShell(kNoDisplay + Kestrel() + " run --state '" + File("state.bin") + "' --seconds 0.6 --json --out '" +
                                   File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"mode\":\"file\""), std::string::npos) << r.err;
    const std::string out = ReadWholeFile(File("out.ts"));
    ASSERT_GE(out.size(), 188u * 10);
    EXPECT_EQ(out[0], 0x47);
    EXPECT_EQ(out[188], 0x47);
}

TEST_F(DesktopCommand, RunRefusesStatesItCannotStreamFrom) {
    StoreState(File("pass.bin"), kModePassThrough, "");
    StoreState(File("push.bin"), kModeHostSupplied, "");
    const std::pair<std::string, std::string> cases[] = {
        {File("none.bin"), "kestrel: no filter state in " + File("none.bin") + " (choose one with 'kestrel properties')\n"},
        {File("pass.bin"), "kestrel: the stored state is in pass-through mode, which needs a source of its own: use "
                           "'kestrel passthrough'\n"},
        {File("push.bin"), "kestrel: the stored state is in host-supplied mode, which needs a source of its own: use "
                           "'kestrel push'\n"},
    };
    for (const auto& [state, message] : cases) {
        const ShellResult r = RunShell(kNoDisplay + Kestrel() + " run --state '" + state + "' --out /dev/null");
        EXPECT_EQ(r.status, 1) << state;
        EXPECT_EQ(r.err, message) << state;
    }
}

}  // namespace
