#include "platform/com/ComTypes.h"
#include "platform/com/Unknown.h"
#include <gtest/gtest.h>

namespace {
// {5A486531-0201-43E0-BD81-D544BB08D0DC}
constexpr GUID kFilter = {0x5A486531, 0x0201, 0x43E0, {0xBD, 0x81, 0xD5, 0x44, 0xBB, 0x08, 0xD0, 0xDC}};
}

TEST(Guid, FormatsAndParsesTheBracedForm) {
    EXPECT_EQ(GuidToString(kFilter), "{5A486531-0201-43E0-BD81-D544BB08D0DC}");
    EXPECT_EQ(GuidToString(IID_IUnknown), "{00000000-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidFromString("{5a486531-0201-43e0-bd81-d544bb08d0dc}"), kFilter);
    const GUID mixed = {0xFFFFFFFF, 0x89AB, 0xCDEF, {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}};
    EXPECT_EQ(GuidFromString(GuidToString(mixed)), mixed);
    for (const char* bad : {
             "", "5A486531-0201-43E0-BD81-D544BB08D0DC", "{5A486531-0201-43E0-BD81-D544BB08D0DC",
             "{5A486531-0201-43E0-BD81-D544BB08D0D}", "{5A486531-0201-43E0-BD81-D544BB08D0DCC}",
             "{5A486531+0201-43E0-BD81-D544BB08D0DC}", "{5A48653-10201-43E0-BD81-D544BB08D0DC}",
             "{5A486531-0201-43E0-BD81-D544BB08D0DG}", "{ 5A48653-0201-43E0-BD81-D544BB08D0DC}",
             "(5A486531-0201-43E0-BD81-D544BB08D0DC)"})
        EXPECT_EQ(GuidFromString(bad), std::nullopt) << bad;

    // Class tables are ordered maps: the last byte must take part in ordering too.
    GUID other = kFilter;
    other.Data4[7] ^= 1;
    EXPECT_FALSE(kFilter == other);
    EXPECT_TRUE(kFilter < other || other < kFilter);
    EXPECT_FALSE(kFilter < kFilter);
}
