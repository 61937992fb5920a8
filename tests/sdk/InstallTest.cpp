// The build installed into a fresh prefix, the example plug-in built on its own against
// the installed SDK (found with pkg-config) and installed beside the module, then
// streamed from through the installed program: what a third party does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/ShellRun.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/kestrel-install-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        prefix_ = root_ / "prefix";
        ShellResult install = RunShell(std::string(KESTREL_CMAKE) + " --install " + Quote(KESTREL_BUILD_DIR) +
                                       " --prefix " + Quote(prefix_));
        ASSERT_EQ(install.status, 0) << install.out << install.err;
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }

    static fs::path LibDir() { return prefix_ / KESTREL_INSTALL_LIBDIR; }

    // The installed program alone: no variable points at the build tree.
    static ShellResult Kestrel(const std::string& arguments) {
        return RunShell("env -u LD_LIBRARY_PATH KESTREL_HOME=" + Quote(root_ / "home") + " " +
                     Quote(prefix_ / "bin/kestrel") + " " + arguments);
    }

    static inline fs::path root_, prefix_;
};

TEST_F(Installed, LaysOutProgramModuleSdkManualAndCompletion) {
    for (const fs::path& p : {prefix_ / "bin/kestrel", LibDir() / "Kestrel.ax", LibDir() / "libkestrel-platform.so",
                              prefix_ / "include/kestrel/Feed.h", prefix_ / "include/kestrel/FeedSamplePool.h",
                              prefix_ / "include/kestrel/FeedComTypes.h", LibDir() / "pkgconfig/kestrel-plugin.pc",
                              prefix_ / "share/man/man1/kestrel.1",
                              prefix_ / "share/bash-completion/completions/kestrel"})
        EXPECT_TRUE(fs::is_regular_file(p)) << p;

    std::ifstream man(prefix_ / "share/man/man1/kestrel.1");
    std::string page((std::istreambuf_iterator<char>(man)), {});
    for (const char* command : {"feeds", "push", "passthrough", "live", "play", "measure", "iptv", "settings",
                                "register", "unregister"})
        EXPECT_NE(page.find(std::string(".SS kestrel ") + command + "\n"), std::string::npos) << command;

    // The completion script loads and answers for the subcommand word.
    ShellResult completion = RunShell("bash -c 'source " +
                                      (prefix_ / "share/bash-completion/completions/kestrel").string() +
                                      "; COMP_WORDS=(kestrel pl); COMP_CWORD=1; COMP_LINE=\"kestrel pl\"; "
                                      "COMP_POINT=10; _kestrel; echo \"${COMPREPLY[@]}\"'");
    EXPECT_EQ(completion.out, "play\n");
}

TEST_F(Installed, ExamplePluginBuiltAgainstTheSdkStreamsThroughTheInstalledProgram) {
    const fs::path build = root_ / "plinth-build";
    // Built as a third party would (the plug-in finds the SDK with pkg-config), without
    // this build's flags or a sanitizer's options.
    const std::string env =
        "env -u CXXFLAGS -u LDFLAGS -u ASAN_OPTIONS PKG_CONFIG_PATH=" + Quote(LibDir() / "pkgconfig") + " ";
    const std::string tree = Quote(build);
    for (const std::string& step : {" -S " + Quote(KESTREL_SOURCE_DIR "/tools/plinth") + " -B " + tree + " -G Ninja",
                                    " --build " + tree, " --install " + tree}) {
        ShellResult r = RunShell(env + KESTREL_CMAKE + step);
        ASSERT_EQ(r.status, 0) << step << "\n" << r.out << r.err;
    }
    ASSERT_TRUE(fs::is_regular_file(LibDir() / "Plinth5.dll"));

    ShellResult feeds = Kestrel("feeds");
    ASSERT_EQ(feeds.status, 0) << feeds.out << feeds.err;
    EXPECT_NE(feeds.out.find("Plinth Demo Satellite"), std::string::npos) << feeds.out << feeds.err;

    const fs::path out = root_ / "live.ts";
    ShellResult live = Kestrel("live 'Plinth Demo Satellite' --seconds 2 --out " + Quote(out));
    ASSERT_EQ(live.status, 0) << live.out << live.err;
    std::ifstream file(out, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.size() % 188, 0u);
    for (size_t at = 0; at < bytes.size(); at += 188) ASSERT_EQ(bytes[at], 0x47) << at;
    // 4 Mbit/s for 2 s is 1,000,000 bytes; start-up and the last partial tick take some.
    EXPECT_GT(bytes.size(), 700'000u);
    EXPECT_LT(bytes.size(), 1'150'000u);
}

}  // namespace
