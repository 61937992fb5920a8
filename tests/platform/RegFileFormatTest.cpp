#include "platform/registry/RegFileFormat.h"
#include <gtest/gtest.h>

namespace {
constexpr const char* kRoot = "HKEY_CURRENT_USER";

std::string ParseError(const std::string& text) {
    RegKey root;
    std::string error;
    EXPECT_FALSE(RegFileFormat::Parse(text, kRoot, root, &error)) << text;
    return error;
}

std::string Body(const std::string& lines) {
    return "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n" + lines;
}
}  // namespace

TEST(RegFileFormat, WrittenTextParsesBackToTheSameTree) {
    RegKey root;
    RegKey& k = root.AddChild("Software").AddChild("Odd ]Name[");
    k.SetValue("", 1, {'d', 0});
    k.SetValue("quote\"back\\", 1, {'\\', '"', 0});
    k.SetValue("tab", 1, {'a', '\t', 'b', 0});
    k.SetValue("ctl", 1, {'a', 0x01, 0});
    k.SetValue("twoZeros", 1, {'a', 0, 0});
    k.SetValue("dw", 4, {0x78, 0x56, 0x34, 0x12});
    k.SetValue("dwOdd", 4, {1, 2});
    k.SetValue("big", 3, std::vector<BYTE>(100, 0xEE));
    k.SetValue("none", 0, {});
    root.SetValue("atRoot", 4, {1, 0, 0, 0});

    const std::string text = RegFileFormat::Write(root, kRoot);
    RegKey back;
    std::string error;
    ASSERT_TRUE(RegFileFormat::Parse(text, kRoot, back, &error)) << error << "\n" << text;
    EXPECT_EQ(RegFileFormat::Write(back, kRoot), text);
    const RegKey* k2 = back.Find({"software", "odd ]name["});
    ASSERT_NE(k2, nullptr);
    ASSERT_EQ(k2->Values().size(), k.Values().size());
    for (size_t i = 0; i < k.Values().size(); ++i) {
        EXPECT_EQ(k2->Values()[i].name, k.Values()[i].name);
        EXPECT_EQ(k2->Values()[i].type, k.Values()[i].type) << k.Values()[i].name;
        EXPECT_EQ(k2->Values()[i].data, k.Values()[i].data) << k.Values()[i].name;
    }
    EXPECT_NE(text.find("\n[HKEY_CURRENT_USER]\n\"atRoot\"=dword:00000001\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"tab\"=\"a\tb\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"ctl\"=hex(1):61,01,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"dwOdd\"=hex(4):01,02\n"), std::string::npos);
    EXPECT_NE(text.find("\"none\"=hex(0):\n"), std::string::npos);
    EXPECT_NE(text.find("\"big\"=hex:ee,ee,"), std::string::npos);
    EXPECT_NE(text.find(",\\\n  ee,"), std::string::npos) << "continued lines";
}

TEST(RegFileFormat, EmptyTreeIsJustTheHeader) {
    EXPECT_EQ(RegFileFormat::Write(RegKey(), kRoot), "Windows Registry Editor Version 5.00\n\n");
    RegKey root;
    EXPECT_TRUE(RegFileFormat::Parse("", kRoot, root, nullptr));
    EXPECT_TRUE(RegFileFormat::Parse("\n\n", kRoot, root, nullptr));
    EXPECT_TRUE(RegFileFormat::Parse("REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n", kRoot, root, nullptr));
    EXPECT_NE(root.Child("a"), nullptr);
}

TEST(RegFileFormat, ErrorsNameTheLine) {
    EXPECT_EQ(ParseError("Some other file\n"), "line 1: not a registry editor file (missing header)");
    EXPECT_EQ(ParseError("Windows Registry Editor Version 5.00\n\"v\"=dword:1\n"), "line 2: value outside any key");
    EXPECT_EQ(ParseError("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\X]\n"),
              "line 2: key outside HKEY_CURRENT_USER");
    EXPECT_EQ(ParseError("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USERX]\n"),
              "line 2: key outside HKEY_CURRENT_USER");
    EXPECT_EQ(ParseError("Windows Registry Editor Version 5.00\n[-HKEY_CURRENT_USER\\X]\n"),
              "line 2: key deletion entries are not supported here");
    EXPECT_EQ(ParseError("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\\\\B]\n"),
              "line 2: empty or over-long key name in path");
    EXPECT_EQ(ParseError("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\n"),
              "line 2: a key line must end with ]");
    EXPECT_EQ(ParseError(Body("\"v\"=dword:123456789\n")), "line 4: a dword needs 1 to 8 hex digits");
    EXPECT_EQ(ParseError(Body("\"v\"=dword:\n")), "line 4: a dword needs 1 to 8 hex digits");
    EXPECT_EQ(ParseError(Body("\"v\"=\"C:\\dir\"\n")), "line 4: a backslash in quotes must be followed by \\ or \"");
    EXPECT_EQ(ParseError(Body("\"v\"=\"open\n")), "line 4: missing closing quote");
    EXPECT_EQ(ParseError(Body("\"v\"=\"a\" b\n")), "line 4: unexpected text after the quoted value");
    EXPECT_EQ(ParseError(Body("\"v\"=hex:0\n")), "line 4: expected two hex digits per byte");
    EXPECT_EQ(ParseError(Body("\"v\"=hex:01 02\n")), "line 4: expected a comma between bytes");
    EXPECT_EQ(ParseError(Body("\"v\"=hex:01,\n")), "line 4: expected two hex digits per byte");
    EXPECT_EQ(ParseError(Body("\"v\"=hex(zz):01\n")), "line 4: malformed hex(type): prefix");
    EXPECT_EQ(ParseError(Body("\"v\"=qword:1\n")), "line 4: unknown value data");
    EXPECT_EQ(ParseError(Body("v=dword:1\n")), "line 4: expected a quoted name or text");
    EXPECT_EQ(ParseError(Body("\"v\" = dword:1\n")), "line 4: expected = after the value name");
    // A continued value reports the line it starts on; the next error counts every line.
    EXPECT_EQ(ParseError(Body("\"a\"=hex:01,\\\n  02\n\"b\"=bad\n")), "line 6: unknown value data");
}

TEST(RegFileFormat, LaterLinesOverrideEarlierOnes) {
    RegKey root;
    ASSERT_TRUE(RegFileFormat::Parse(Body("\"v\"=dword:1\n[HKEY_CURRENT_USER\\k]\n\"V\"=dword:2\n"), kRoot, root,
                                     nullptr));
    const RegKey* k = root.Child("K");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->Values().size(), 1u);
    EXPECT_EQ(k->Values()[0].name, "v");
    EXPECT_EQ(k->Values()[0].data, (std::vector<BYTE>{2, 0, 0, 0}));
}

TEST(RegFileFormat, StorableNames) {
    EXPECT_TRUE(RegFileFormat::StorableKeyName("BDAFeed Tuner 1"));
    EXPECT_FALSE(RegFileFormat::StorableKeyName(""));
    EXPECT_FALSE(RegFileFormat::StorableKeyName("a\\b"));
    EXPECT_FALSE(RegFileFormat::StorableKeyName("a\rb"));
    EXPECT_TRUE(RegFileFormat::StorableKeyName(std::string(255, 'k')));
    EXPECT_FALSE(RegFileFormat::StorableKeyName(std::string(256, 'k')));
    EXPECT_TRUE(RegFileFormat::StorableValueName(""));
    EXPECT_TRUE(RegFileFormat::StorableValueName("a\\b\"c"));
    EXPECT_FALSE(RegFileFormat::StorableValueName("a\nb"));
}
