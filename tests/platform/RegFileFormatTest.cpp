#include "platform/registry/RegFileFormat.h"
#include <gtest/gtest.h>

namespace {
constexpr const char* kRoot = "HKEY_CURRENT_USER";
constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n";

std::string ParseError(const std::string& text) {
    RegKey root;
    std::string error;
    EXPECT_FALSE(RegFileFormat::Parse(text, kRoot, root, &error)) << text;
    return error;
}
std::string Body(const std::string& lines) { return kHeader + std::string("\n[HKEY_CURRENT_USER\\K]\n") + lines; }
}  // namespace

TEST(RegFileFormat, WrittenTextParsesBackToTheSameTree) {
    EXPECT_EQ(RegFileFormat::Write(RegKey(), kRoot), std::string(kHeader) + "\n");
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
    // Only plain text is written quoted; anything odd goes out as typed hex.
    for (const char* line : {"\n[HKEY_CURRENT_USER]\n\"atRoot\"=dword:00000001\n", "\"tab\"=\"a\tb\"\n",
                             "\"ctl\"=hex(1):61,01,00\n", "\"dwOdd\"=hex(4):01,02\n", "\"none\"=hex(0):\n",
                             "\"big\"=hex:ee,ee,", ",\\\n  ee,"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " not in:\n" << text;
}

TEST(RegFileFormat, AcceptedVariantsAndLaterLinesOverride) {
    RegKey root;
    EXPECT_TRUE(RegFileFormat::Parse("", kRoot, root, nullptr));
    EXPECT_TRUE(RegFileFormat::Parse("REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n", kRoot, root, nullptr));
    EXPECT_NE(root.Child("a"), nullptr);
    // As edited by hand: a byte order mark, CRLF line ends, comments and a continued line.
    ASSERT_TRUE(RegFileFormat::Parse("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; by hand\r\n"
                                     "[HKEY_CURRENT_USER\\S]\r\n\"Port\"=dword:22b\r\n"
                                     "\"Long\"=hex:00,01,\\\r\n  02\r\n",
                                     kRoot, root, nullptr));
    const RegKey* s = root.Child("S");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->Values().size(), 2u);
    EXPECT_EQ(s->Values()[0].data, (std::vector<BYTE>{0x2B, 0x02, 0, 0}));
    EXPECT_EQ(s->Values()[1].data, (std::vector<BYTE>{0, 1, 2}));
    ASSERT_TRUE(RegFileFormat::Parse(Body("\"v\"=dword:1\n[HKEY_CURRENT_USER\\k]\n\"V\"=dword:2\n"), kRoot, root,
                                     nullptr));
    const RegKey* k = root.Child("K");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->Values().size(), 1u);
    EXPECT_EQ(k->Values()[0].name, "v");
    EXPECT_EQ(k->Values()[0].data, (std::vector<BYTE>{2, 0, 0, 0}));
}

TEST(RegFileFormat, ErrorsNameTheLine) {
    const std::string h = kHeader;
    EXPECT_EQ(ParseError("Some other file\n"), "line 1: not a registry editor file (missing header)");
    EXPECT_EQ(ParseError(h + "\"v\"=dword:1\n"), "line 2: value outside any key");
    EXPECT_EQ(ParseError(h + "[HKEY_CURRENT_USERX]\n"), "line 2: key outside HKEY_CURRENT_USER");
    EXPECT_EQ(ParseError(h + "[-HKEY_CURRENT_USER\\X]\n"), "line 2: key deletion entries are not supported here");
    EXPECT_EQ(ParseError(h + "[HKEY_CURRENT_USER\\A\\\\B]\n"), "line 2: empty or over-long key name in path");
    EXPECT_EQ(ParseError(Body("\"v\"=dword:123456789\n")), "line 4: a dword needs 1 to 8 hex digits");
    EXPECT_EQ(ParseError(Body("\"v\"=\"C:\\dir\"\n")), "line 4: a backslash in quotes must be followed by \\ or \"");
    EXPECT_EQ(ParseError(Body("\"v\"=\"open\n")), "line 4: missing closing quote");
    EXPECT_EQ(ParseError(Body("\"v\"=\"a\" b\n")), "line 4: unexpected text after the quoted value");
    EXPECT_EQ(ParseError(Body("\"v\"=hex:0\n")), "line 4: expected two hex digits per byte");
    EXPECT_EQ(ParseError(Body("\"v\"=hex:01 02\n")), "line 4: expected a comma between bytes");
    EXPECT_EQ(ParseError(Body("\"v\"=hex(zz):01\n")), "line 4: malformed hex(type): prefix");
    EXPECT_EQ(ParseError(Body("\"v\"=qword:1\n")), "line 4: unknown value data");
    EXPECT_EQ(ParseError(Body("\"v\" = dword:1\n")), "line 4: expected = after the value name");
    // A continued value reports the line it starts on; the next error counts every line.
    EXPECT_EQ(ParseError(Body("\"a\"=hex:01,\\\n  02\n\"b\"=bad\n")), "line 6: unknown value data");
}
