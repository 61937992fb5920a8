#include "feeds/iptv/TsSyncTracker.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Packets(size_t count, unsigned size = 188) {
    Bytes b(count * size, 0x5A);
    for (size_t i = 0; i < b.size(); i += size) b[i] = 0x47;
    return b;
}

bool Feed(TsSyncTracker& t, const Bytes& b, size_t from, size_t to, unsigned size = 188) {
    return t.Update(b.data() + from, to - from, size);
}

TEST(TsSyncTracker, WholePacketsSyncAndNothingChangesNothing) {
    for (unsigned size : {188u, 192u, 204u}) {
        TsSyncTracker t;
        EXPECT_FALSE(t.Update(nullptr, 0, size));
        const Bytes p = Packets(5, size);
        EXPECT_TRUE(Feed(t, p, 0, p.size(), size)) << size;
        EXPECT_TRUE(t.Update(p.data(), 0, size));
        EXPECT_TRUE(Feed(t, p, 0, p.size(), 0)) << "size 0 judges nothing";
    }
}

TEST(TsSyncTracker, PacketSplitAcrossBuffersIsPassedOver) {
    TsSyncTracker t;
    const Bytes p = Packets(4);
    ASSERT_TRUE(Feed(t, p, 0, 188));
    EXPECT_TRUE(Feed(t, p, 188, 300));
    EXPECT_TRUE(Feed(t, p, 300, 350));
    EXPECT_TRUE(Feed(t, p, 350, p.size()));
    // After a reset the packet cut short is forgotten: the next whole one syncs at once.
    t.Reset();
    EXPECT_FALSE(t.InSync());
    EXPECT_TRUE(Feed(t, p, 0, 188));
}

TEST(TsSyncTracker, StrayBytesLoseSyncUntilAWholePacketFollowsAPassedOne) {
    TsSyncTracker t;
    const Bytes one = Packets(1);
    ASSERT_TRUE(Feed(t, one, 0, one.size()));
    const uint8_t stray = 0x00;
    EXPECT_TRUE(t.Update(&stray, 1, 188));  // one byte alone keeps the flag
    EXPECT_FALSE(t.Update(&stray, 1, 188));
    EXPECT_FALSE(Feed(t, one, 0, one.size()));  // passed over
    EXPECT_TRUE(Feed(t, one, 0, one.size()));
}

}  // namespace
