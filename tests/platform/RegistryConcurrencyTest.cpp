#include "RegistryTestSupport.h"
#include <gtest/gtest.h>
#include <atomic>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr const char* kSharedKey = "Software\\Velmar\\Kestrel\\Shared";
constexpr int kWriters = 6, kValues = 6;

// Every writer sets values of its own in one shared key; a lost read-modify-write
// drops another writer's values from the file. Reads in between must see a whole file.
bool WriteOwnValues(int writer) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSharedKey, &key) != ERROR_SUCCESS) return false;
    bool ok = true;
    for (int i = 0; i < kValues; ++i) {
        const std::string name = std::to_string(writer) + "-" + std::to_string(i);
        ok = ok && SetDword(key, name.c_str(), static_cast<DWORD>(i)) == ERROR_SUCCESS;
        ok = ok && SetString(key, (name + "-text").c_str(), name) == ERROR_SUCCESS;
        ok = ok && GetDword(key, name.c_str()) == static_cast<DWORD>(i);
    }
    RegCloseKey(key);
    return ok;
}

void ExpectAllValues() {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSharedKey, &key), ERROR_SUCCESS);
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kValues; ++i) {
            const std::string name = std::to_string(w) + "-" + std::to_string(i);
            EXPECT_EQ(GetDword(key, name.c_str()), static_cast<DWORD>(i)) << name;
            EXPECT_EQ(GetString(key, (name + "-text").c_str()), name) << name;
        }
    char name[64];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, kWriters * kValues * 2, name, &size, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}
}  // namespace

// Half the writers are processes (the file lock), half are threads (the in-process lock).
TEST(RegistryConcurrency, ThreadsAndProcessesNeverLoseEachOthersValues) {
    ScopedRegistryHome home;
    std::vector<pid_t> children;
    for (int p = 0; p < kWriters / 2; ++p) {  // forked before any thread starts
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(WriteOwnValues(p) ? 0 : 1);
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int t = kWriters / 2; t < kWriters; ++t) threads.emplace_back([&, t] { ok += WriteOwnValues(t); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), kWriters - kWriters / 2);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectAllValues();
}
