#include "platform/system/ErrorText.h"
#include "platform/system/Library.h"
#include "platform/system/SharedFile.h"
#include "platform/system/Tick.h"
#include <gtest/gtest.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#ifndef TEST_SERVER_PATH
#error "the build names the test server library"
#endif

namespace {
std::string RealPath(const std::string& p) {
    char buf[PATH_MAX];
    return realpath(p.c_str(), buf) ? std::string(buf) : p;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-sys-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void OwnFunction() {}
}  // namespace

TEST(Tick, CountsMillisecondsAcrossASleep) {
    ULONGLONG before = GetTickCount64();
    DWORD before32 = GetTickCount();
    auto start = std::chrono::steady_clock::now();
    Sleep(25);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
    ULONGLONG after = GetTickCount64();
    EXPECT_GE(after - before, 24u);
    EXPECT_LT(after - before, 2000u);
    EXPECT_GE(DWORD(GetTickCount() - before32), 24u);
}

TEST(Tick, ThirtyTwoBitCountWrapsAndDifferencesStayRight) {
    // Place the count 40 ms before the wrap.
    const DWORD now = GetTickCount();
    SetTickCountOffsetForTesting(DWORD(0xFFFFFFFFu - 40u - now));
    const DWORD before = GetTickCount();
    EXPECT_GT(before, 0xFFFFFFFFu - 200u);
    Sleep(80);
    const DWORD after = GetTickCount();
    SetTickCountOffsetForTesting(0);
    EXPECT_LT(after, before) << "wrapped";
    EXPECT_GE(DWORD(after - before), 79u);
    EXPECT_LT(DWORD(after - before), 2000u);
}

TEST(Tick, SleepZeroReturnsAtOnce) {
    auto start = std::chrono::steady_clock::now();
    Sleep(0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(ErrorText, LastErrorIsPerThread) {
    SetLastError(1234);
    DWORD other = 99;
    std::thread([&] {
        other = GetLastError();
        SetLastError(5);
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
    SetLastError(0);
}

TEST(ErrorText, SystemMessagesHaveNoTrailingNewline) {
    EXPECT_EQ(SystemMessageText(ENOENT), "No such file or directory");
    EXPECT_EQ(SystemMessageText(ECONNREFUSED), "Connection refused");
    std::string unknown = SystemMessageText(98765);
    EXPECT_NE(unknown.find("98765"), std::string::npos);
    EXPECT_NE(unknown.back(), '\n');
}

TEST(Library, LoadsFindsSymbolsAndNamesItsPath) {
    HMODULE lib = LoadLibraryA(TEST_SERVER_PATH);
    ASSERT_NE(lib, nullptr) << LastLibraryError();
    void* entry = GetProcAddress(lib, "DllGetClassObject");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(ModulePathOfAddress(entry), RealPath(TEST_SERVER_PATH));
    EXPECT_EQ(GetModuleHandleA(TEST_SERVER_PATH), lib);

    EXPECT_EQ(GetProcAddress(lib, "NoSuchExport"), nullptr);
    EXPECT_NE(LastLibraryError().find("NoSuchExport"), std::string::npos) << LastLibraryError();
    EXPECT_TRUE(FreeLibrary(lib));
}

TEST(Library, MissingLibraryFailsWithItsNameInTheError) {
    EXPECT_EQ(LoadLibraryA("/nonexistent/dir/libnothing.so"), nullptr);
    EXPECT_NE(LastLibraryError().find("libnothing.so"), std::string::npos);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_FALSE(FreeLibrary(nullptr));
    EXPECT_EQ(GetModuleHandleA("/nonexistent/dir/libnothing.so"), nullptr);
}

TEST(Library, PathsOfTheProgramAndThePlatformLibrary) {
    EXPECT_EQ(ModulePathOfAddress(reinterpret_cast<const void*>(&OwnFunction)), RealPath("/proc/self/exe"));
    std::string platform = ModulePathOfAddress(reinterpret_cast<const void*>(&GetTickCount));
    EXPECT_EQ(platform.front(), '/');
    EXPECT_TRUE(platform.ends_with("/libkestrel-platform.so")) << platform;
    EXPECT_EQ(ModulePathOfAddress(nullptr), "");
    int onStack = 0;
    EXPECT_EQ(ModulePathOfAddress(&onStack), "");
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
}

TEST(SharedFile, ReadsSeeksAndSeesGrowthByAnotherWriter) {
    TempDir dir;
    std::string path = dir.Path() + "/stream.ts";
    std::ofstream(path, std::ios::binary) << "0123456789";
    SharedFile f;
    ASSERT_TRUE(f.Open(path));
    EXPECT_EQ(f.Size(), 10);
    char buf[16] = {};
    EXPECT_EQ(f.Read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(f.Tell(), 4);
    ASSERT_TRUE(f.Seek(8));
    EXPECT_EQ(f.Read(buf, sizeof buf), 2) << "short read at the end";
    EXPECT_EQ(std::string(buf, 2), "89");
    EXPECT_EQ(f.Read(buf, sizeof buf), 0);

    std::ofstream(path, std::ios::binary | std::ios::app) << "abc";  // someone appends
    EXPECT_EQ(f.Size(), 13);
    EXPECT_EQ(f.Read(buf, sizeof buf), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");

    SharedFile moved(std::move(f));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
}

TEST(SharedFile, FailuresKeepErrno) {
    TempDir dir;
    SharedFile f;
    errno = 0;
    EXPECT_FALSE(f.Open(dir.Path() + "/missing.ts"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(f.LastError(), ENOENT);
    EXPECT_FALSE(f.Open(dir.Path()));
    EXPECT_EQ(f.LastError(), EISDIR);
    char c;
    EXPECT_EQ(f.Read(&c, 1), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(f.Seek(0));
    EXPECT_EQ(f.Size(), -1);
    EXPECT_EQ(f.Tell(), -1);
}
