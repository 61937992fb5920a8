#include "RegistryTestSupport.h"
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr const char* kSharedKey = "Software\\Velmar\\Kestrel\\Shared";

// Every writer sets values of its own in one shared key; any lost update would drop
// another writer's values from the file.
bool WriteOwnValues(const std::string& writer, int count) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSharedKey, &key) != ERROR_SUCCESS) return false;
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        std::string name = writer + "-" + std::to_string(i);
        ok = ok && SetDword(key, name.c_str(), static_cast<DWORD>(i)) == ERROR_SUCCESS;
        ok = ok && SetString(key, (name + "-text").c_str(), name) == ERROR_SUCCESS;
        // Readers in between must always see a whole file.
        ok = ok && GetDword(key, name.c_str()) == static_cast<DWORD>(i);
    }
    RegCloseKey(key);
    return ok;
}

void ExpectAllValues(const std::vector<std::string>& writers, int count) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSharedKey, &key), ERROR_SUCCESS);
    for (const auto& writer : writers)
        for (int i = 0; i < count; ++i) {
            std::string name = writer + "-" + std::to_string(i);
            EXPECT_EQ(GetDword(key, name.c_str()), static_cast<DWORD>(i)) << name;
            EXPECT_EQ(GetString(key, (name + "-text").c_str()), name) << name;
        }
    char name[64];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, static_cast<DWORD>(writers.size() * count * 2), name, &size, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}
}  // namespace

TEST(RegistryConcurrency, ThreadsNeverLoseEachOthersValues) {
    ScopedRegistryHome home;
    constexpr int kThreads = 4, kValues = 8;
    std::vector<std::string> writers;
    std::vector<std::thread> threads;
    std::vector<char> ok(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) writers.push_back("thread" + std::to_string(t));
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { ok[t] = WriteOwnValues(writers[t], kValues); });
    for (auto& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(ok[t]) << writers[t];
    ExpectAllValues(writers, kValues);
}

TEST(RegistryConcurrency, ProcessesNeverLoseEachOthersValues) {
    ScopedRegistryHome home;
    constexpr int kProcesses = 4, kValues = 6;
    std::vector<std::string> writers;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) writers.push_back("process" + std::to_string(p));
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(WriteOwnValues(writers[p], kValues) ? 0 : 1);
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectAllValues(writers, kValues);
}

TEST(RegistryConcurrency, KeysCreatedAndDeletedWhileOthersRead) {
    ScopedRegistryHome home;
    HKEY root = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Churn", &root), ERROR_SUCCESS);
    std::atomic<bool> stop{false};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        while (!stop.load()) {
            HKEY k = nullptr;
            LONG r = RegOpenKeyExA(root, "Child", &k);
            if (r == ERROR_SUCCESS) {
                auto v = GetDword(k, "V");
                LONG q = RegQueryValueExA(k, "V", nullptr, nullptr, nullptr);
                // The key may vanish between calls, but a read never sees half a change.
                if (v && *v != 7) ++badReads;
                if (q != ERROR_SUCCESS && q != ERROR_KEY_DELETED && q != ERROR_FILE_NOT_FOUND) ++badReads;
                RegCloseKey(k);
            } else if (r != ERROR_FILE_NOT_FOUND) {
                ++badReads;
            }
        }
    });
    for (int i = 0; i < 10; ++i) {
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root, "Child", &child), ERROR_SUCCESS);
        ASSERT_EQ(SetDword(child, "V", 7), ERROR_SUCCESS);
        RegCloseKey(child);
        ASSERT_EQ(RegDeleteTreeA(root, "Child"), ERROR_SUCCESS);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(badReads.load(), 0);
    RegCloseKey(root);
}
