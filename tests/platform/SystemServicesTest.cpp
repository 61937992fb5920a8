#include "platform/system/ErrorText.h"
#include "platform/system/Library.h"
#include "platform/system/SharedFile.h"
#include "platform/system/Tick.h"
#include "tests/support/TempDir.h"
#include <gtest/gtest.h>
#include <cerrno>
#include <climits>
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
void OwnFunction() {}
}  // namespace

TEST(Tick, CountsMillisecondsAndTheThirtyTwoBitCountWraps) {
    const ULONGLONG before64 = GetTickCount64();
    // Place the 32-bit count 40 ms before the wrap; differences must stay right across it.
    SetTickCountOffsetForTesting(DWORD(0xFFFFFFFFu - 40u - GetTickCount()));
    const DWORD before = GetTickCount();
    EXPECT_GT(before, 0xFFFFFFFFu - 200u);
    Sleep(80);
    const DWORD after = GetTickCount();
    SetTickCountOffsetForTesting(0);
    EXPECT_LT(after, before) << "wrapped";
    EXPECT_GE(DWORD(after - before), 79u);
    EXPECT_LT(DWORD(after - before), 2000u);
    EXPECT_GE(GetTickCount64() - before64, 79u) << "the 64-bit count never wraps";
    EXPECT_LT(GetTickCount64() - before64, 2000u);
}

TEST(ErrorText, LastErrorIsPerThreadAndMessagesHaveNoNewline) {
    SetLastError(1234);
    DWORD other = 99;
    std::thread([&] {
        other = GetLastError();
        SetLastError(5);
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
    SetLastError(0);
    EXPECT_EQ(SystemMessageText(ENOENT), "No such file or directory");
    std::string unknown = SystemMessageText(98765);
    EXPECT_NE(unknown.find("98765"), std::string::npos);
    EXPECT_NE(unknown.back(), '\n');
}

TEST(ErrorText, SystemCodesAndTheResultCodesWrappingThemHaveTheirMessages) {
    struct Case {
        uint32_t code;
        const char* text;
    };
    for (Case c : {Case{0, "The operation completed successfully."},
                   Case{112, "There is not enough space on the disk."},
                   Case{0x80070070u, "There is not enough space on the disk."},
                   Case{0x800703F1u, "The configuration registry database is corrupt."},
                   Case{0x800703FAu, "Illegal operation attempted on a registry key that has been marked for deletion."},
                   Case{336, "An operation is not supported on a directory."},
                   Case{5, "Access is denied."},
                   Case{0x80040154u, "Unknown error 0x80040154"},
                   Case{4242, "Unknown error 0x00001092"}})
        EXPECT_EQ(Win32ErrorText(c.code), c.text) << std::hex << c.code;
}

TEST(Library, LoadsFindsSymbolsAndReportsErrors) {
    HMODULE lib = LoadLibraryA(TEST_SERVER_PATH);
    ASSERT_NE(lib, nullptr) << LastLibraryError();
    void* entry = GetProcAddress(lib, "DllGetClassObject");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(ModulePathOfAddress(entry), RealPath(TEST_SERVER_PATH));
    EXPECT_EQ(GetModuleHandleA(TEST_SERVER_PATH), lib);
    EXPECT_EQ(GetProcAddress(lib, "NoSuchExport"), nullptr);
    EXPECT_NE(LastLibraryError().find("NoSuchExport"), std::string::npos) << LastLibraryError();
    EXPECT_TRUE(FreeLibrary(lib));

    EXPECT_EQ(LoadLibraryA("/nonexistent/dir/libnothing.so"), nullptr);
    EXPECT_NE(LastLibraryError().find("libnothing.so"), std::string::npos) << LastLibraryError();
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_FALSE(FreeLibrary(nullptr));
    EXPECT_EQ(GetModuleHandleA("/nonexistent/dir/libnothing.so"), nullptr);

    EXPECT_EQ(ModulePathOfAddress(reinterpret_cast<const void*>(&OwnFunction)), RealPath("/proc/self/exe"));
    std::string platform = ModulePathOfAddress(reinterpret_cast<const void*>(&GetTickCount));
    EXPECT_TRUE(platform.starts_with('/') && platform.ends_with("/libkestrel-platform.so")) << platform;
    int onStack = 0;
    EXPECT_EQ(ModulePathOfAddress(&onStack), "");
    EXPECT_EQ(ModulePathOfAddress(nullptr), "");
}

TEST(SharedFile, ReadsSeeksSeesGrowthAndKeepsErrno) {
    const TempDir temp;
    const std::string dir = temp.Path(), path = temp.File("stream.ts");
    std::ofstream(path, std::ios::binary) << "0123456789";
    SharedFile f;
    ASSERT_TRUE(f.Open(path));
    char buf[16] = {};
    ASSERT_TRUE(f.Seek(8));
    EXPECT_EQ(f.Read(buf, sizeof buf), 2) << "short read at the end";
    EXPECT_EQ(std::string(buf, 2), "89");
    EXPECT_EQ(f.Read(buf, sizeof buf), 0);
    std::ofstream(path, std::ios::binary | std::ios::app) << "abc";  // someone appends
    EXPECT_EQ(f.Size(), 13);
    EXPECT_EQ(f.Read(buf, sizeof buf), 3);
    EXPECT_EQ(f.Tell(), 13);
    errno = 0;
    EXPECT_FALSE(f.Open(dir + "/missing.ts"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(f.Open(dir));
    EXPECT_EQ(f.LastError(), EISDIR);
    EXPECT_EQ(f.Read(buf, 1), -1) << "a failed open leaves nothing open";
    EXPECT_EQ(errno, EBADF);
}
