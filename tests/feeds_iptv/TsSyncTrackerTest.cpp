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

TEST(TsSyncTracker, StartsOutOfSyncAndEmptyInputChangesNothing) {
    TsSyncTracker t;
    EXPECT_FALSE(t.InSync());
    EXPECT_FALSE(t.Update(nullptr, 0, 188));
    const Bytes p = Packets(2);
    EXPECT_TRUE(Feed(t, p, 0, p.size()));
    EXPECT_TRUE(t.Update(p.data(), 0, 188));
    EXPECT_TRUE(t.InSync());
}

TEST(TsSyncTracker, WholePacketsOfEachSizeAreInSync) {
    for (unsigned size : {188u, 192u, 204u}) {
        TsSyncTracker t;
        const Bytes p = Packets(5, size);
        EXPECT_TRUE(Feed(t, p, 0, p.size(), size)) << size;
    }
}

TEST(TsSyncTracker, PacketSplitAcrossBuffersIsPassedOverAndSyncHolds) {
    TsSyncTracker t;
    const Bytes p = Packets(4);
    ASSERT_TRUE(Feed(t, p, 0, 188));
    // The second packet starts in this buffer and ends in the next two.
    EXPECT_TRUE(Feed(t, p, 188, 300));
    EXPECT_TRUE(Feed(t, p, 300, 350));
    EXPECT_TRUE(Feed(t, p, 350, p.size()));
}

TEST(TsSyncTracker, BytesThatAreNotPacketsLoseSync) {
    TsSyncTracker t;
    const Bytes p = Packets(2);
    ASSERT_TRUE(Feed(t, p, 0, p.size()));
    EXPECT_FALSE(t.Update(Bytes(10, 0x11).data(), 10, 188));
    EXPECT_FALSE(t.InSync());
    // The first packet after the stray bytes is passed over; the next one brings it back.
    const Bytes one = Packets(1);
    EXPECT_FALSE(Feed(t, one, 0, one.size()));
    EXPECT_TRUE(Feed(t, one, 0, one.size()));
}

TEST(TsSyncTracker, ASingleStrayByteAloneKeepsTheFlag) {
    TsSyncTracker t;
    const Bytes p = Packets(1);
    ASSERT_TRUE(Feed(t, p, 0, p.size()));
    const uint8_t stray = 0x00;
    EXPECT_TRUE(t.Update(&stray, 1, 188));
    EXPECT_FALSE(t.Update(&stray, 1, 188));  // a second one drops it
}

TEST(TsSyncTracker, ResetForgetsEverything) {
    TsSyncTracker t;
    const Bytes p = Packets(2);
    ASSERT_TRUE(Feed(t, p, 0, 300));
    t.Reset();
    EXPECT_FALSE(t.InSync());
    // A packet cut short before the reset is not passed over afterwards.
    EXPECT_TRUE(Feed(t, p, 0, 188));
}

TEST(TsSyncTracker, ZeroPacketSizeIsNoPacketAtAll) {
    TsSyncTracker t;
    const Bytes p = Packets(1);
    EXPECT_FALSE(Feed(t, p, 0, p.size(), 0));
}

}  // namespace
