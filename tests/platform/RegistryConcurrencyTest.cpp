#include "RegistryTestSupport.h"
#include "platform/graph/FilterRegistration.h"
#include <gtest/gtest.h>
#include <atomic>
#include <latch>
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

// A module of two classes, one of them a filter: registering writes five keys.
constexpr CLSID kFilter = {0x5A486531, 0x0201, 0x43E0, {0xBD, 0x81, 0xD5, 0x44, 0xBB, 0x08, 0xD0, 0xDC}};
constexpr CLSID kPage = {0x2C21A4B6, 0xC51A, 0x4990, {0xB4, 0x40, 0xB0, 0x84, 0x15, 0x34, 0xF7, 0x3A}};
const AMOVIESETUP_FILTER kSetup = {&kFilter, u"F", MERIT_DO_NOT_USE, 0, nullptr};
const CFactoryTemplate kTemplates[] = {{u"F", &kFilter, nullptr, nullptr, &kSetup},
                                       {u"P", &kPage, nullptr, nullptr, nullptr}};
const char* const kRegistrationKeys[] = {
    "CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}",
    "CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}\\InprocServer32",
    "CLSID\\{2C21A4B6-C51A-4990-B440-B0841534F73A}",
    "CLSID\\{2C21A4B6-C51A-4990-B440-B0841534F73A}\\InprocServer32",
    "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{5A486531-0201-43E0-BD81-D544BB08D0DC}",
};

HRESULT Registration(bool doRegister) { return AMovieDllRegisterServer2(doRegister, kTemplates, 2, "/m/Kestrel.ax"); }

// All five keys, or none of them.
void ExpectWholeRegistration(const char* when) {
    int present = 0;
    for (const char* path : kRegistrationKeys) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, &key) == ERROR_SUCCESS) {
            ++present;
            RegCloseKey(key);
        }
    }
    EXPECT_TRUE(present == 0 || present == 5) << present << " of 5 keys " << when;
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

// Registration is one batch: between processes (the file lock) and threads (the
// in-process lock), a register racing an unregister leaves all of it or none.
TEST(RegistryConcurrency, RegisterAndUnregisterAtOnceLeaveOneWholeState) {
    ScopedRegistryHome home;
    std::vector<pid_t> children;
    for (bool doRegister : {true, false}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < 15; ++i) ok = ok && Registration(doRegister ^ (i % 2 == 1)) == S_OK;
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every run succeeds";
    }
    ExpectWholeRegistration("after both processes");

    for (int round = 0; round < 15; ++round) {
        std::latch start(2);
        HRESULT results[2] = {E_FAIL, E_FAIL};
        auto race = [&](int i) {
            start.arrive_and_wait();
            results[i] = Registration(i == 0);
        };
        std::thread reg(race, 0), unreg(race, 1);
        reg.join();
        unreg.join();
        EXPECT_EQ(results[0], S_OK);
        EXPECT_EQ(results[1], S_OK);
        ExpectWholeRegistration(("after round " + std::to_string(round)).c_str());
    }
}
