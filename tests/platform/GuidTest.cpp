#include "platform/com/ComTypes.h"
#include "platform/com/Unknown.h"
#include <gtest/gtest.h>

namespace {
// {5A486531-0201-43E0-BD81-D544BB08D0DC}
constexpr GUID kFilter = {0x5A486531, 0x0201, 0x43E0, {0xBD, 0x81, 0xD5, 0x44, 0xBB, 0x08, 0xD0, 0xDC}};
}

TEST(Guid, FormatsBracedUpperCaseWithFieldByteOrder) {
    EXPECT_EQ(GuidToString(kFilter), "{5A486531-0201-43E0-BD81-D544BB08D0DC}");
    EXPECT_EQ(GuidToString(IID_IUnknown), "{00000000-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
    const GUID allOnes = {0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    EXPECT_EQ(GuidToString(allOnes), "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}");
}

TEST(Guid, ParsesEitherCaseAndRoundTrips) {
    auto g = GuidFromString("{5a486531-0201-43e0-bd81-d544bb08d0dc}");
    ASSERT_TRUE(g);
    EXPECT_EQ(*g, kFilter);
    EXPECT_EQ(GuidFromString(GuidToString(IID_IClassFactory)), IID_IClassFactory);
    const GUID mixed = {0x01234567, 0x89AB, 0xCDEF, {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}};
    EXPECT_EQ(GuidFromString(GuidToString(mixed)), mixed);
}

TEST(Guid, RejectsAnythingButTheBracedForm) {
    for (const char* bad : {
             "",
             "5A486531-0201-43E0-BD81-D544BB08D0DC",      // no braces
             "{5A486531-0201-43E0-BD81-D544BB08D0DC",     // one brace
             "{5A486531-0201-43E0-BD81-D544BB08D0D}",     // short
             "{5A486531-0201-43E0-BD81-D544BB08D0DCC}",   // long
             "{5A486531+0201-43E0-BD81-D544BB08D0DC}",    // wrong separator
             "{5A48653-10201-43E0-BD81-D544BB08D0DC}",    // dash moved
             "{5A486531-0201-43E0-BD81-D544BB08D0DG}",    // not hex
             "{ 5A48653-0201-43E0-BD81-D544BB08D0DC}",    // blank
             "(5A486531-0201-43E0-BD81-D544BB08D0DC)",    // wrong brackets
         })
        EXPECT_EQ(GuidFromString(bad), std::nullopt) << bad;
}

TEST(Guid, OrderingAndEqualityCoverAllBytes) {
    GUID a = kFilter, b = kFilter;
    EXPECT_TRUE(IsEqualGUID(a, b));
    b.Data4[7] ^= 1;
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a < b || b < a);
    EXPECT_FALSE(a < a);
}
