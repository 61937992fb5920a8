#pragma once
// Runs the built programs the way users do, in a temporary folder of the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/ShellRun.h"

inline std::string TestBinDir() {
    const char* bin = std::getenv("KESTREL_TEST_BIN");
    return bin ? bin : ".";
}

// The number after "name": in a JSON text; -1 when there is none.
inline double JsonNumber(const std::string& text, const std::string& name) {
    const size_t at = text.find("\"" + name + "\":");
    return at == std::string::npos ? -1 : std::stod(text.substr(at + name.size() + 3));
}

inline int LineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

class ProgramTestDir : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        dir_ = fs::temp_directory_path() / ("kestrel-test-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        // Readable by others: some tests run the program as an unprivileged user.
        fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    std::string Generate(const std::string& name, const std::string& args) const {
        const ShellResult r = RunShell("'" + TestBinDir() + "/tsgen' " + args + " --out '" + File(name) + "'");
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        return File(name);
    }
    static std::string Kestrel() { return "'" + TestBinDir() + "/kestrel'"; }
    // With the example plugin's folder on the library search path.
    static std::string WithPlugin() {
        const char* plugins = std::getenv("KESTREL_TEST_PLUGINS");
        return "env LD_LIBRARY_PATH='" + std::string(plugins ? plugins : "") + "' " + Kestrel();
    }

    std::filesystem::path dir_;
};
