#include "RegistryTestSupport.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>

namespace {
constexpr const char* kFeedKey = "Software\\Velmar\\KestrelTest\\FileFeed";

class Registry : public ::testing::Test {
protected:
    HKEY Create(const char* path, HKEY parent = HKEY_CURRENT_USER) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(parent, path, &key), ERROR_SUCCESS) << path;
        opened_.push_back(key);
        return key;
    }
    void TearDown() override {
        for (HKEY k : opened_)
            if (k) RegCloseKey(k);
    }
    ScopedRegistryHome home_;
    std::vector<HKEY> opened_;
};

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        LONG r = RegEnumKeyExA(key, i, name, &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(r, ERROR_SUCCESS);
        EXPECT_EQ(size, std::strlen(name));
        names.push_back(name);
    }
    return names;
}
}  // namespace

TEST_F(Registry, DwordRoundTrip) {
    HKEY key = Create(kFeedKey);
    ASSERT_EQ(SetDword(key, "Bitrate", 4014705), ERROR_SUCCESS);
    DWORD value = 0, type = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "Bitrate", &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, 4014705u);
    ASSERT_EQ(SetDword(key, "Bitrate", 0xFFFFFFFF), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "Bitrate"), 0xFFFFFFFFu);
}

TEST_F(Registry, TextSizesCountTheTerminatingZeroWhetherGivenOrNot) {
    HKEY key = Create(kFeedKey);
    const char text[] = "C:\\TS\\news.ts";
    // Written without the zero, as the settings helpers do.
    ASSERT_EQ(RegSetValueExA(key, "LastFile", REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text - 1),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "LastFile", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof text);
    char buf[260];
    std::memset(buf, 'x', sizeof buf);
    size = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(key, "LastFile", nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof text);
    EXPECT_STREQ(buf, text);

    ASSERT_EQ(SetString(key, "Empty", ""), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, "Empty"), "");
    ASSERT_EQ(RegSetValueExA(key, "Nothing", REG_SZ, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, "Nothing"), "");
}

TEST_F(Registry, TooSmallBufferReportsTheSizeNeededAndLeavesItAlone) {
    HKEY key = Create(kFeedKey);
    ASSERT_EQ(SetString(key, "Name", "twelve chars"), ERROR_SUCCESS);
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    DWORD type = 0, size = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(key, "Name", &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 13u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(8, 'x'));
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, reinterpret_cast<BYTE*>(buf), nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, BinaryAndOtherTypesRoundTripByteForByte) {
    HKEY key = Create(kFeedKey);
    std::vector<BYTE> blob(300);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>(i * 7);
    ASSERT_EQ(RegSetValueExA(key, "Blob", REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "NoBytes", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    const BYTE qword[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(RegSetValueExA(key, "Big", REG_QWORD, qword, 8), ERROR_SUCCESS);
    const char multi[] = "one\0two\0";
    ASSERT_EQ(RegSetValueExA(key, "Multi", REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi), ERROR_SUCCESS);
    // Text that is not one plain line must survive as well.
    const char lines[] = "first\nsecond\0hidden";
    ASSERT_EQ(RegSetValueExA(key, "Lines", REG_SZ, reinterpret_cast<const BYTE*>(lines), sizeof lines), ERROR_SUCCESS);

    auto read = [&](const char* name, DWORD expectType) {
        std::vector<BYTE> out(1024);
        DWORD type = 0, size = static_cast<DWORD>(out.size());
        EXPECT_EQ(RegQueryValueExA(key, name, &type, out.data(), &size), ERROR_SUCCESS) << name;
        EXPECT_EQ(type, expectType) << name;
        out.resize(size);
        return out;
    };
    EXPECT_EQ(read("Blob", REG_BINARY), blob);
    EXPECT_TRUE(read("NoBytes", REG_BINARY).empty());
    EXPECT_EQ(read("Big", REG_QWORD), std::vector<BYTE>(qword, qword + 8));
    EXPECT_EQ(read("Multi", REG_MULTI_SZ), std::vector<BYTE>(multi, multi + sizeof multi));
    EXPECT_EQ(read("Lines", REG_SZ), std::vector<BYTE>(lines, lines + sizeof lines));

    const std::string file = home_.Read("HKEY_CURRENT_USER.reg");
    EXPECT_NE(file.find("\"Big\"=hex(b):01,02,03,04,05,06,07,08\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"NoBytes\"=hex:\n"), std::string::npos) << file;
    for (size_t pos = 0, next; pos < file.size(); pos = next + 1) {
        next = file.find('\n', pos);
        EXPECT_LE(next - pos, 80u) << "long data is wrapped";
    }
}

TEST_F(Registry, QuotesAndBackslashesAreEscapedInTheFile) {
    HKEY key = Create(kFeedKey);
    ASSERT_EQ(SetString(key, "Say \"hi\"", "C:\\dir\\ \"quoted\" \\"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, "Say \"hi\""), "C:\\dir\\ \"quoted\" \\");
    const std::string file = home_.Read("HKEY_CURRENT_USER.reg");
    EXPECT_NE(file.find(R"("Say \"hi\""="C:\\dir\\ \"quoted\" \\")"), std::string::npos) << file;
}

TEST_F(Registry, DefaultValueIsTheUnnamedOne) {
    HKEY key = Create("CLSID\\{5A486531-0201-43E0-BD81-D544BB08D0DC}", HKEY_CLASSES_ROOT);
    ASSERT_EQ(SetString(key, nullptr, "Velmar TS Feed filter"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, ""), "Velmar TS Feed filter");
    ASSERT_EQ(SetString(key, "", "renamed"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, nullptr), "renamed");
    EXPECT_NE(home_.Read("HKEY_CLASSES_ROOT.reg").find("\n@=\"renamed\"\n"), std::string::npos);
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, ""), std::nullopt);
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
    HKEY key = Create("Software\\Velmar\\App\\IPTVFeed");
    DWORD disposition = 0;
    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\velmar\\APP\\iptvfeed", &again, &disposition), ERROR_SUCCESS);
    opened_.push_back(again);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(SetDword(key, "MulticastSourcePort", 1234), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(again, "multicastsourceport"), 1234u);
    ASSERT_EQ(SetDword(again, "MULTICASTSOURCEPORT", 99), ERROR_SUCCESS);

    char name[64];
    DWORD nameSize = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "MulticastSourcePort") << "the first spelling stays";
    EXPECT_EQ(RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(GetDword(key, "MulticastSourcePort"), 99u);

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\VELMAR", &software), ERROR_SUCCESS);
    opened_.push_back(software);
    EXPECT_EQ(SubkeyNames(software), std::vector<std::string>{"App"});
}

TEST_F(Registry, CreateReportsNewOrExistingAndOpenNeedsTheKey) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kFeedKey, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kFeedKey, &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kFeedKey, &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmar\\KestrelTest\\FileFeed\\", &key), ERROR_SUCCESS)
        << "a trailing backslash is allowed";
    HKEY same = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key, nullptr, &same), ERROR_SUCCESS);
    EXPECT_NE(same, key) << "a new handle to the same key";
    ASSERT_EQ(SetDword(same, "X", 1), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "X"), 1u);
    RegCloseKey(same);
    RegCloseKey(key);
}

TEST_F(Registry, BadArgumentsAreRefused) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "\\Software", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\\\Velmar", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, std::string(256, 'k').c_str(), &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "line\nbreak", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegCreateKeyExA(nullptr, "Software", &key), ERROR_INVALID_HANDLE);
    int notAHandle = 0;
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(&notAHandle), "Software", &key), ERROR_INVALID_HANDLE);

    HKEY feed = Create(kFeedKey);
    const BYTE three[3] = {1, 2, 3};
    EXPECT_EQ(RegSetValueExA(feed, "Short", REG_DWORD, three, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(feed, "Null", REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(feed, "two\nlines", REG_BINARY, three, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(home_.Files(), (std::vector<std::string>{"HKEY_CURRENT_USER.lock", "HKEY_CURRENT_USER.reg"}))
        << "no temporary files are left behind";
}

TEST_F(Registry, ClosedAndDeletedHandles) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kFeedKey, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

    HKEY feed = Create(kFeedKey);
    ASSERT_EQ(SetDword(feed, "Loop", 1), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmar"), ERROR_SUCCESS);
    DWORD value = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(feed, "Loop", nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_KEY_DELETED);
    EXPECT_EQ(SetDword(feed, "Loop", 2), ERROR_KEY_DELETED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(feed, "Child", &child), ERROR_KEY_DELETED);
    char name[16];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(feed, 0, name, &nameSize), ERROR_KEY_DELETED);
    // The path comes back to life when someone creates it again.
    Create(kFeedKey);
    EXPECT_EQ(GetDword(feed, "Loop"), std::nullopt);
    EXPECT_EQ(SetDword(feed, "Loop", 3), ERROR_SUCCESS);
}

TEST_F(Registry, DeletingKeys) {
    HKEY velmar = Create("Software\\Velmar");
    Create("Software\\Velmar\\App\\FileFeed");
    Create("Software\\Velmar\\App\\IPTVFeed\\History");
    EXPECT_EQ(RegDeleteKeyA(velmar, "App"), ERROR_ACCESS_DENIED) << "still has subkeys";
    EXPECT_EQ(RegDeleteKeyA(velmar, "App\\FileFeed"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(velmar, "App\\FileFeed"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(velmar, "Nowhere\\Else"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(velmar, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED) << "a root stays";
    EXPECT_EQ(RegDeleteTreeA(velmar, "app"), ERROR_SUCCESS);
    EXPECT_TRUE(SubkeyNames(velmar).empty());
    EXPECT_EQ(RegDeleteTreeA(velmar, "App"), ERROR_FILE_NOT_FOUND);

    Create("Software\\Velmar\\Again\\Deeper");
    ASSERT_EQ(SetDword(velmar, "Kept", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(velmar, nullptr), ERROR_SUCCESS) << "everything below, the key stays";
    EXPECT_TRUE(SubkeyNames(velmar).empty());
    EXPECT_EQ(GetDword(velmar, "Kept"), std::nullopt);
    EXPECT_EQ(SetDword(velmar, "Kept", 2), ERROR_SUCCESS);
}

TEST_F(Registry, EnumerationOrderAndSizes) {
    HKEY parent = Create("Software\\Enum");
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) Create(name, parent);
    EXPECT_EQ(SubkeyNames(parent), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}));

    char small[5];
    DWORD size = sizeof small;
    EXPECT_EQ(RegEnumKeyExA(parent, 2, small, &size), ERROR_SUCCESS);
    EXPECT_STREQ(small, "beta") << "five bytes hold four characters and the zero";
    EXPECT_EQ(size, 4u);
    size = sizeof small;
    EXPECT_EQ(RegEnumKeyExA(parent, 0, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    size = sizeof small;
    EXPECT_EQ(RegEnumKeyExA(parent, 4, small, &size), ERROR_NO_MORE_ITEMS);

    ASSERT_EQ(SetString(parent, "Zeta", "last letter"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(parent, "Alpha", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetString(parent, nullptr, "default"), ERROR_SUCCESS);
    const char* expectedNames[] = {"Zeta", "Alpha", ""};
    const DWORD expectedTypes[] = {REG_SZ, REG_DWORD, REG_SZ};
    for (DWORD i = 0; i < 3; ++i) {
        char name[32];
        BYTE data[32];
        DWORD nameSize = sizeof name, type = 0, dataSize = sizeof data;
        ASSERT_EQ(RegEnumValueA(parent, i, name, &nameSize, &type, data, &dataSize), ERROR_SUCCESS);
        EXPECT_STREQ(name, expectedNames[i]);
        EXPECT_EQ(nameSize, std::strlen(expectedNames[i]));
        EXPECT_EQ(type, expectedTypes[i]);
    }
    char name[32];
    BYTE data[4];
    DWORD nameSize = sizeof name, dataSize = sizeof data;
    EXPECT_EQ(RegEnumValueA(parent, 0, name, &nameSize, nullptr, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 12u);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValueA(parent, 3, name, &nameSize, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, RootsAreSeparateFiles) {
    HKEY user = Create("Software\\Same");
    HKEY machine = Create("Software\\Same", HKEY_LOCAL_MACHINE);
    ASSERT_EQ(SetDword(user, "Where", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(machine, "Where", 2), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(user, "Where"), 1u);
    EXPECT_EQ(GetDword(machine, "Where"), 2u);
    HKEY classes = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software\\Same", &classes), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(home_.Read("HKEY_LOCAL_MACHINE.reg").find("[HKEY_LOCAL_MACHINE\\Software\\Same]"), std::string::npos);
}

TEST_F(Registry, ExactTextOfASmallStore) {
    HKEY feed = Create("Software\\Velmar\\Kestrel\\FileFeed");
    ASSERT_EQ(SetString(feed, "LastFile", "C:\\TS\\a \"b\".ts"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(feed, "Bitratelock", 10), ERROR_SUCCESS);
    const BYTE bytes[] = {0x01, 0x02, 0xAB};
    ASSERT_EQ(RegSetValueExA(feed, "Raw", REG_BINARY, bytes, sizeof bytes), ERROR_SUCCESS);
    HKEY iptv = Create("Software\\Velmar\\Kestrel\\IPTVFeed");
    ASSERT_EQ(SetString(iptv, nullptr, "x"), ERROR_SUCCESS);
    EXPECT_EQ(home_.Read("HKEY_CURRENT_USER.reg"),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Velmar]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Velmar\\Kestrel]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Velmar\\Kestrel\\FileFeed]\n"
              "\"LastFile\"=\"C:\\\\TS\\\\a \\\"b\\\".ts\"\n"
              "\"Bitratelock\"=dword:0000000a\n"
              "\"Raw\"=hex:01,02,ab\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Velmar\\Kestrel\\IPTVFeed]\n"
              "@=\"x\"\n"
              "\n");
}

TEST_F(Registry, HandEditedFileIsRead) {
    home_.Write("HKEY_CURRENT_USER.reg",
                "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                "\r\n"
                "; written by hand\r\n"
                "[HKEY_CURRENT_USER\\Software\\Velmar\\Kestrel\\SAT2IPFeed]\r\n"
                "\"Server\"=\"192.168.1.10\"\r\n"
                "\"Port\"=dword:22b\r\n"
                "\"Long\"=hex:00,01,\\\r\n"
                "  02,03\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmar\\Kestrel\\SAT2IPFeed", &key), ERROR_SUCCESS);
    opened_.push_back(key);
    EXPECT_EQ(GetString(key, "Server"), "192.168.1.10");
    EXPECT_EQ(GetDword(key, "Port"), 0x22Bu);
    BYTE data[8];
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "Long", nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::vector<BYTE>(data, data + size), (std::vector<BYTE>{0, 1, 2, 3}));
}

TEST_F(Registry, DamagedFileIsKeptAsideAndTheStoreStartsEmpty) {
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:xyz\n";
    home_.Write("HKEY_CURRENT_USER.reg", damaged);
    HKEY key = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", &key), ERROR_FILE_NOT_FOUND);
    std::string err = testing::internal::GetCapturedStderr();

    auto files = home_.Files();
    auto bad = std::find_if(files.begin(), files.end(), [](const std::string& f) {
        return f.starts_with("HKEY_CURRENT_USER.reg.bad-");
    });
    ASSERT_NE(bad, files.end());
    const std::string keptAs = *bad;
    EXPECT_EQ(home_.Read(keptAs), damaged) << "kept as it was";
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(home_.File("HKEY_CURRENT_USER.reg")), std::string::npos) << err;
    EXPECT_NE(err.find(keptAs), std::string::npos) << err;
    EXPECT_NE(err.find("line 4"), std::string::npos) << err;

    // The store goes on; a second damaged file gets a name of its own.
    HKEY fresh = Create("B");
    ASSERT_EQ(SetDword(fresh, "v", 1), ERROR_SUCCESS);
    home_.Write("HKEY_CURRENT_USER.reg", "not a registry file at all");
    testing::internal::CaptureStderr();
    EXPECT_EQ(SetDword(fresh, "v", 2), ERROR_KEY_DELETED) << "the damaged file held no key B";
    testing::internal::GetCapturedStderr();
    files = home_.Files();
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
                            [](const std::string& f) { return f.starts_with("HKEY_CURRENT_USER.reg.bad-"); }),
              2);
    EXPECT_EQ(home_.Read(keptAs), damaged) << "never overwritten";
}

TEST_F(Registry, EmptyFileIsAnEmptyStore) {
    home_.Write("HKEY_CURRENT_USER.reg", "");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(home_.Files(), std::vector<std::string>{"HKEY_CURRENT_USER.reg"});
}

TEST(RegistryLocation, EnvironmentDecidesTheDirectory) {
    ScopedRegistryHome first;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Iso", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "Here", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegistryDirectory(), first.Path());
    {
        ScopedRegistryHome second;
        EXPECT_EQ(GetDword(key, "Here"), std::nullopt);
        EXPECT_EQ(RegistryDirectory(), second.Path());
    }
    EXPECT_EQ(GetDword(key, "Here"), 1u);
    RegCloseKey(key);

    std::string savedXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    unsetenv("KESTREL_HOME");
    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    EXPECT_EQ(RegistryDirectory(), "/xdg/config/kestrel");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(RegistryDirectory(), "/home/someone/.config/kestrel");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryDirectory(), "/home/someone/.config/kestrel");
    setenv("HOME", savedHome.c_str(), 1);
    if (!savedXdg.empty()) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    setenv("KESTREL_HOME", first.Path().c_str(), 1);
}
