#include "RegistryTestSupport.h"
#include "platform/system/ErrorText.h"
#include <gtest/gtest.h>
#include <cstring>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
class Registry : public ::testing::Test {
protected:
    HKEY Create(const char* path, HKEY parent = HKEY_CURRENT_USER) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(parent, path, &key), ERROR_SUCCESS) << path;
        opened_.push_back(key);
        return key;
    }
    void TearDown() override {
        for (HKEY k : opened_) RegCloseKey(k);
    }
    std::vector<BYTE> Read(HKEY key, const char* name, DWORD expectType) {
        std::vector<BYTE> out(1024);
        DWORD type = 0, size = static_cast<DWORD>(out.size());
        EXPECT_EQ(RegQueryValueExA(key, name, &type, out.data(), &size), ERROR_SUCCESS) << name;
        EXPECT_EQ(type, expectType) << name;
        out.resize(size);
        return out;
    }
    std::vector<std::string> BadFiles() {
        auto files = home_.Files();
        std::erase_if(files, [](const std::string& f) { return !f.starts_with("HKEY_CURRENT_USER.reg.bad-"); });
        return files;
    }
    ScopedRegistryHome home_;
    std::vector<HKEY> opened_;
};

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size) == ERROR_SUCCESS; ++i, size = sizeof name) {
        EXPECT_EQ(size, std::strlen(name));
        names.push_back(name);
    }
    return names;
}

// "k\\k\\...": a path of depth keys.
std::string Chain(size_t depth) {
    std::string path;
    for (size_t i = 0; i < depth; ++i) path += i ? "\\k" : "k";
    return path;
}

// Runs body in a child process with a mount namespace of its own and returns what it
// returned; nullopt when this machine gives no such child (no right to mount).
std::optional<LONG> InChild(const std::function<std::optional<LONG>()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(1);
        std::optional<LONG> r = body();
        if (!r) _exit(1);
        _exit(write(fds[1], &*r, sizeof *r) == sizeof *r ? 0 : 1);
    }
    close(fds[1]);
    LONG result = 0;
    const bool got = pid > 0 && read(fds[0], &result, sizeof result) == sizeof result;
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    return got ? std::optional<LONG>(result) : std::nullopt;
}
}  // namespace

TEST_F(Registry, ValueTypesRoundTripByteForByte) {
    HKEY key = Create("Software\\Velmar\\FileFeed");
    ASSERT_EQ(SetDword(key, "Bitrate", 0xFFFFFFFF), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "Bitrate"), 0xFFFFFFFFu);
    std::vector<BYTE> blob(300);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>(i * 7);
    ASSERT_EQ(RegSetValueExA(key, "Blob", REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())), ERROR_SUCCESS);
    const BYTE qword[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(RegSetValueExA(key, "Big", REG_QWORD, qword, 8), ERROR_SUCCESS);
    const char lines[] = "first\nsecond\0hidden";  // not one plain line: must survive as well
    ASSERT_EQ(RegSetValueExA(key, "Lines", REG_SZ, reinterpret_cast<const BYTE*>(lines), sizeof lines), ERROR_SUCCESS);
    EXPECT_EQ(Read(key, "Blob", REG_BINARY), blob);
    EXPECT_EQ(Read(key, "Big", REG_QWORD), std::vector<BYTE>(qword, qword + 8));
    EXPECT_EQ(Read(key, "Lines", REG_SZ), std::vector<BYTE>(lines, lines + sizeof lines));

    // Text given without its zero is stored with one, and every size counts it.
    const char text[] = "C:\\TS\\news.ts";
    ASSERT_EQ(RegSetValueExA(key, "LastFile", REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text - 1),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, "LastFile"), text);
    // Too small a buffer: the size needed, and the buffer left alone.
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    DWORD size = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(key, "LastFile", nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(8, 'x'));
    EXPECT_EQ(RegQueryValueExA(key, "LastFile", nullptr, reinterpret_cast<BYTE*>(buf), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, RootsAreSeparateFilesWithExactText) {
    HKEY feed = Create("Software\\Velmar\\Kestrel\\FileFeed");
    ASSERT_EQ(SetString(feed, "LastFile", "C:\\TS\\a \"b\".ts"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(feed, "Bitratelock", 10), ERROR_SUCCESS);
    const BYTE bytes[] = {0x01, 0x02, 0xAB};
    ASSERT_EQ(RegSetValueExA(feed, "Raw", REG_BINARY, bytes, sizeof bytes), ERROR_SUCCESS);
    HKEY iptv = Create("Software\\Velmar\\Kestrel\\IPTVFeed");
    ASSERT_EQ(SetString(iptv, nullptr, "x"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(iptv, ""), "x") << "null and empty both name the default value";
    ASSERT_EQ(SetDword(Create("Software\\Velmar", HKEY_LOCAL_MACHINE), "Where", 2), ERROR_SUCCESS);
    HKEY classes = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software\\Velmar", &classes), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(home_.Read("HKEY_CURRENT_USER.reg"),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Velmar\\Kestrel\\FileFeed]\n"
              "\"LastFile\"=\"C:\\\\TS\\\\a \\\"b\\\".ts\"\n"
              "\"Bitratelock\"=dword:0000000a\n"
              "\"Raw\"=hex:01,02,ab\n\n"
              "[HKEY_CURRENT_USER\\Software\\Velmar\\Kestrel\\IPTVFeed]\n"
              "@=\"x\"\n\n");
    EXPECT_NE(home_.Read("HKEY_LOCAL_MACHINE.reg").find("[HKEY_LOCAL_MACHINE\\Software\\Velmar]\n\"Where\"="),
              std::string::npos);
}

TEST_F(Registry, NamesMatchWithoutCaseAndEnumerateInOrder) {
    HKEY parent = Create("Software\\Enum");
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) Create(name, parent);
    DWORD disposition = 0;
    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\enum\\BETA", &again, &disposition), ERROR_SUCCESS);
    opened_.push_back(again);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(SubkeyNames(parent), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}))
        << "first spellings, in case-insensitive order";
    char small[5];
    DWORD size = sizeof small;
    EXPECT_EQ(RegEnumKeyExA(parent, 2, small, &size), ERROR_SUCCESS);
    EXPECT_STREQ(small, "beta") << "five bytes hold four characters and the zero";
    size = sizeof small;
    EXPECT_EQ(RegEnumKeyExA(parent, 0, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);

    // Values come in the order they were first set, under their first spelling.
    ASSERT_EQ(SetString(parent, "Zeta", "last letter"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(parent, "Alpha", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetString(parent, nullptr, "default"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(parent, "ALPHA", 2), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(parent, "alpha"), 2u);
    const char* expectedNames[] = {"Zeta", "Alpha", ""};
    char name[32];
    BYTE data[4];
    for (DWORD i = 0; i < 3; ++i) {
        DWORD nameSize = sizeof name, type = 0, dataSize = sizeof data;
        const LONG expected = i == 1 ? ERROR_SUCCESS : ERROR_MORE_DATA;
        ASSERT_EQ(RegEnumValueA(parent, i, name, &nameSize, &type, data, &dataSize), expected);
        EXPECT_STREQ(name, expectedNames[i]);
        EXPECT_EQ(nameSize, std::strlen(expectedNames[i]));
        EXPECT_EQ(type, i == 1 ? REG_DWORD : REG_SZ);
        EXPECT_EQ(dataSize, i == 0 ? 12u : i == 1 ? 4u : 8u) << "the size of the data, or the size needed";
    }
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumValueA(parent, 3, name, &nameSize, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, HandlesAndBadArguments) {
    HKEY key = nullptr, none = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Feed", &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS) << "roots are never really closed";
    key = Create("Software\\Feed\\");  // a trailing backslash is allowed
    for (const std::string& bad : {std::string("\\Software"), std::string("Software\\\\Velmar"), std::string(256, 'k'),
                                   std::string("line\nbreak")})
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, bad.c_str(), &none), ERROR_INVALID_PARAMETER) << bad;
    int notAHandle = 0;
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(&notAHandle), "Software", &none), ERROR_INVALID_HANDLE);
    EXPECT_EQ(none, nullptr);
    const BYTE three[3] = {1, 2, 3};
    EXPECT_EQ(RegSetValueExA(key, "Short", REG_DWORD, three, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "Null", REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "two\nlines", REG_BINARY, three, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(home_.Files(), (std::vector<std::string>{"HKEY_CURRENT_USER.lock", "HKEY_CURRENT_USER.reg"}))
        << "no temporary files are left behind";
}

TEST_F(Registry, DeletingKeysAndValues) {
    HKEY velmar = Create("Software\\Velmar");
    HKEY feed = Create("Software\\Velmar\\App\\FileFeed");
    Create("Software\\Velmar\\App\\IPTVFeed\\History");
    ASSERT_EQ(SetString(feed, nullptr, "default"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(feed, ""), ERROR_SUCCESS);
    EXPECT_EQ(GetString(feed, nullptr), std::nullopt);
    EXPECT_EQ(RegDeleteValueA(feed, nullptr), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetDword(feed, "Loop", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(velmar, "App"), ERROR_ACCESS_DENIED) << "still has subkeys";
    EXPECT_EQ(RegDeleteKeyA(velmar, "App\\FileFeed"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(velmar, "App\\FileFeed"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED) << "a root stays";

    // A handle to a deleted key refuses everything until the path is created again.
    EXPECT_EQ(RegQueryValueExA(feed, "Loop", nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(SetDword(feed, "Loop", 2), ERROR_KEY_DELETED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(feed, "Child", &child), ERROR_KEY_DELETED);
    Create("Software\\Velmar\\App\\FileFeed");
    EXPECT_EQ(GetDword(feed, "Loop"), std::nullopt);
    EXPECT_EQ(SetDword(feed, "Loop", 3), ERROR_SUCCESS);

    ASSERT_EQ(SetDword(velmar, "Kept", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(velmar, "app"), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(velmar, "Kept"), 1u);
    Create("Software\\Velmar\\Again\\Deeper");
    EXPECT_EQ(RegDeleteTreeA(velmar, nullptr), ERROR_SUCCESS) << "everything below, the key stays";
    EXPECT_TRUE(SubkeyNames(velmar).empty());
    EXPECT_EQ(GetDword(velmar, "Kept"), std::nullopt);
    EXPECT_EQ(SetDword(velmar, "Kept", 2), ERROR_SUCCESS);
}

TEST_F(Registry, DamagedFileIsKeptAsideAndReportedNeverOverwritten) {
    HKEY key = nullptr;
    home_.Write("HKEY_CURRENT_USER.reg", "");
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(BadFiles().empty()) << "an empty file is an empty store";

    const std::string damaged = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:xyz\n";
    home_.Write("HKEY_CURRENT_USER.reg", damaged);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", &key), ERROR_FILE_NOT_FOUND);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(BadFiles().size(), 1u);
    const std::string keptAs = BadFiles()[0];
    EXPECT_EQ(home_.Read(keptAs), damaged) << "kept as it was";
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    for (const std::string& part : {home_.File("HKEY_CURRENT_USER.reg"), keptAs, std::string("line 4")})
        EXPECT_NE(err.find(part), std::string::npos) << part << " missing from: " << err;

    // The store goes on; a second damaged file gets a name of its own.
    HKEY fresh = Create("B");
    ASSERT_EQ(SetDword(fresh, "v", 1), ERROR_SUCCESS);
    home_.Write("HKEY_CURRENT_USER.reg", "not a registry file at all");
    testing::internal::CaptureStderr();
    EXPECT_EQ(SetDword(fresh, "v", 2), ERROR_KEY_DELETED) << "the damaged file held no key B";
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(BadFiles().size(), 2u);
    EXPECT_EQ(home_.Read(keptAs), damaged) << "never overwritten";
}

TEST(RegistryLocation, EnvironmentDecidesTheDirectory) {
    ScopedRegistryHome first;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Iso", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "Here", 1), ERROR_SUCCESS);
    {
        ScopedRegistryHome second;
        EXPECT_EQ(GetDword(key, "Here"), std::nullopt) << "the same key path in another home";
    }
    EXPECT_EQ(GetDword(key, "Here"), 1u);
    RegCloseKey(key);
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    unsetenv("KESTREL_HOME");
    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    EXPECT_EQ(RegistryDirectory(), "/xdg/config/kestrel");
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(RegistryDirectory(), "/home/someone/.config/kestrel");
    setenv("HOME", savedHome.c_str(), 1);
    xdg ? setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    setenv("KESTREL_HOME", first.Path().c_str(), 1);
}

TEST_F(Registry, NestingBeyondTheLimitIsADamagedFileAndRefusedByTheApi) {
    struct Case {
        size_t depth;
        bool accepted;
    };
    size_t damaged = 0;
    for (Case c : {Case{512, true}, Case{513, false}, Case{175'000, false}}) {
        SCOPED_TRACE(c.depth);
        const std::string text =
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + Chain(c.depth) + "]\n\"v\"=dword:1\n";
        home_.Write("HKEY_CURRENT_USER.reg", text);
        testing::internal::CaptureStderr();
        HKEY top = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "k", &top), c.accepted ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        const std::string err = testing::internal::GetCapturedStderr();
        if (!c.accepted) {
            EXPECT_NE(err.find("(line 3: keys nested deeper than 512 levels)"), std::string::npos) << err;
            EXPECT_EQ(BadFiles().size(), ++damaged);
            continue;
        }
        EXPECT_EQ(err, "");
        // Rewritten, every key line appears once: the file grows with the depth, not its square.
        ASSERT_EQ(SetDword(top, "top", 2), ERROR_SUCCESS);
        RegCloseKey(top);
        const std::string written = home_.Read("HKEY_CURRENT_USER.reg");
        EXPECT_EQ(std::count(written.begin(), written.end(), '['), 2) << "the top key and the deepest";
        EXPECT_LT(written.size(), text.size() + 100);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Chain(512).c_str(), &key), ERROR_SUCCESS);
    opened_.push_back(key);
    HKEY deeper = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "k", &deeper), ERROR_BADKEY);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Chain(513).c_str(), &deeper), ERROR_BADKEY);
    EXPECT_EQ(deeper, nullptr);
}

TEST_F(Registry, TransactionWritesAllAtCommitAndNothingWithout) {
    HKEY app = Create("Software\\App");
    ASSERT_EQ(SetDword(app, "Before", 1), ERROR_SUCCESS);
    const std::string before = home_.Read("HKEY_CURRENT_USER.reg");
    {
        RegTransaction batch(HKEY_CURRENT_USER);
        ASSERT_EQ(batch.Status(), ERROR_SUCCESS);
        HKEY feed = nullptr;
        ASSERT_EQ(RegCreateKeyExA(app, "Feed", &feed), ERROR_SUCCESS);
        ASSERT_EQ(SetDword(feed, "Inside", 2), ERROR_SUCCESS);
        EXPECT_EQ(GetDword(feed, "Inside"), 2u) << "the batch sees its own changes";
        RegCloseKey(feed);
        {
            RegTransaction inner(app);
            ASSERT_EQ(inner.Status(), ERROR_SUCCESS) << "joins the open batch instead of waiting for itself";
            ASSERT_EQ(SetDword(app, "Joined", 3), ERROR_SUCCESS);
            EXPECT_EQ(inner.Commit(), ERROR_SUCCESS);
        }
        EXPECT_EQ(home_.Read("HKEY_CURRENT_USER.reg"), before) << "nothing written before the outer commit";
    }
    EXPECT_EQ(home_.Read("HKEY_CURRENT_USER.reg"), before) << "never committed: never written";
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExA(app, "Feed", &gone), ERROR_FILE_NOT_FOUND);

    RegTransaction batch(app);
    ASSERT_EQ(SetDword(app, "Joined", 3), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(app, "Before"), ERROR_SUCCESS);
    EXPECT_EQ(batch.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(app, "Joined"), 3u);
    EXPECT_EQ(GetDword(app, "Before"), std::nullopt);
    EXPECT_EQ(RegTransaction(reinterpret_cast<HKEY>(&batch)).Status(), ERROR_INVALID_HANDLE);
}

// Each failure names the system's reason, and the message text knows every one.
TEST_F(Registry, StoreFailuresCarryTheSystemsReason) {
    struct Case {
        const char* what;
        std::function<std::optional<LONG>(const ScopedRegistryHome&)> run;
        LONG expected;
    };
    auto setDword = [](const char* path) -> std::optional<LONG> {
        HKEY key = nullptr;
        LONG r = RegCreateKeyExA(HKEY_CURRENT_USER, path, &key);
        if (r != ERROR_SUCCESS) return r;
        r = SetDword(key, "v", 1);
        RegCloseKey(key);
        return r;
    };
    auto mountTmpfs = [](const std::string& dir, const char* options) {
        return std::filesystem::create_directory(dir) && mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0;
    };
    const Case cases[] = {
        {"the store's file is a folder",
         [&](const ScopedRegistryHome& h) {
             std::filesystem::create_directory(h.File("HKEY_CURRENT_USER.reg"));
             return setDword("A");
         },
         ERROR_DIRECTORY_NOT_SUPPORTED},
        {"full disk",
         [&](const ScopedRegistryHome& h) -> std::optional<LONG> {
             if (!mountTmpfs(h.File("small"), "size=64k")) return std::nullopt;
             setenv("KESTREL_HOME", h.File("small").c_str(), 1);
             if (setDword("Kept") != ERROR_SUCCESS) return std::nullopt;
             std::ofstream fill(h.File("small/fill"), std::ios::binary);
             const std::string block(4096, 'x');
             while (fill.write(block.data(), block.size()) && fill.flush()) {}
             LONG r = *setDword(std::string(200, 'k').c_str());
             HKEY kept = nullptr;  // the old file is untouched and nothing is left beside it
             if (RegOpenKeyExA(HKEY_CURRENT_USER, "Kept", &kept) != ERROR_SUCCESS || GetDword(kept, "v") != 1u)
                 return -1;
             for (const auto& e : std::filesystem::directory_iterator(h.File("small")))
                 if (e.path().filename().string().find(".tmp-") != std::string::npos) return -2;
             return r;
         },
         ERROR_DISK_FULL},
        {"read-only file system",
         [&](const ScopedRegistryHome& h) -> std::optional<LONG> {
             if (!mountTmpfs(h.File("ro"), "size=64k") ||
                 mount(nullptr, h.File("ro").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                 return std::nullopt;
             setenv("KESTREL_HOME", h.File("ro").c_str(), 1);
             return setDword("A");
         },
         ERROR_WRITE_PROTECT},
        {"permission denied",
         [&](const ScopedRegistryHome& h) -> std::optional<LONG> {
             chmod(h.Path().c_str(), 0500);
             if (getuid() == 0 && setuid(65534) != 0) return std::nullopt;
             return setDword("A");
         },
         ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        ScopedRegistryHome home;
        std::optional<LONG> r = InChild([&] { return c.run(home); });
        if (!r) {
            ADD_FAILURE() << c.what << ": this machine cannot set the case up";
            continue;
        }
        EXPECT_EQ(*r, c.expected) << c.what << ": " << Win32ErrorText(static_cast<uint32_t>(*r));
        EXPECT_EQ(Win32ErrorText(static_cast<uint32_t>(HRESULT_FROM_WIN32(c.expected))).find("Unknown"),
                  std::string::npos);
    }
}

TEST_F(Registry, AWriteRemovesTemporariesOnlyOfWritersThatAreGone) {
    pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    const std::string tmp = "HKEY_CURRENT_USER.reg.tmp-";
    const std::string live = std::to_string(getpid());
    for (const std::string& name : {tmp + std::to_string(dead) + "-aaaaaa", tmp + live + "-fresh1", tmp + live + "-old111",
                                    tmp + "noname", "HKEY_LOCAL_MACHINE.reg.tmp-" + std::to_string(dead) + "-other1"})
        home_.Write(name, "partial");
    std::filesystem::last_write_time(home_.File(tmp + live + "-old111"),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    Create("A");
    EXPECT_EQ(home_.Files(), (std::vector<std::string>{"HKEY_CURRENT_USER.lock", "HKEY_CURRENT_USER.reg",
                                                       tmp + live + "-fresh1", tmp + "noname",
                                                       "HKEY_LOCAL_MACHINE.reg.tmp-" + std::to_string(dead) + "-other1"}))
        << "a dead writer's and a stale one go; a live writer's, and another root's, stay";
}
