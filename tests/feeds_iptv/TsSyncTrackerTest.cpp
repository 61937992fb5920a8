#include "feeds/TsSyncTracker.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Packets(size_t count, unsigned size = 188) {
    std::vector<uint8_t> b(count * size, 0x5A);
    for (size_t i = 0; i < b.size(); i += size) b[i] = 0x47;
    return b;
}

TEST(TsSyncTracker, WholePacketsSyncAndNothingChangesNothing) {
    for (unsigned size : {188u, 192u, 204u}) {
        TsSyncTracker t;
        EXPECT_FALSE(t.Update(nullptr, 0, size));
        const auto p = Packets(5, size);
        EXPECT_TRUE(t.Update(p.data(), p.size(), size)) << size;
        EXPECT_TRUE(t.Update(p.data(), 0, size));
        EXPECT_TRUE(t.Update(p.data(), p.size(), 0)) << "size 0 judges nothing";
    }
}

TEST(TsSyncTracker, SplitPacketsPassAndStrayBytesLoseSync) {
    TsSyncTracker t;
    const auto p = Packets(4);
    for (auto [from, to] : {std::pair<size_t, size_t>{0, 188}, {188, 300}, {300, 350}, {350, 752}}) {
        EXPECT_TRUE(t.Update(p.data() + from, to - from, 188)) << from;
    }
    const uint8_t stray = 0x00;
    EXPECT_TRUE(t.Update(&stray, 1, 188));  // one byte alone keeps the flag
    EXPECT_FALSE(t.Update(&stray, 1, 188));
    EXPECT_FALSE(t.Update(p.data(), 188, 188));  // passed over
    EXPECT_TRUE(t.Update(p.data(), 188, 188));

    // After a reset a packet cut short is forgotten: the next whole one syncs at once.
    EXPECT_TRUE(t.Update(p.data(), 100, 188));
    t.Reset();
    EXPECT_FALSE(t.InSync());
    EXPECT_TRUE(t.Update(p.data(), 188, 188));
}

}  // namespace
