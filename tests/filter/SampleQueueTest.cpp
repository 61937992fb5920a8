#include "filter/SampleQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kEntry = CSampleQueue::kEntrySize;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

struct Popped {
    uint32_t length;
    REFERENCE_TIME start = -1, stop = -1;
};

Popped Pop(CSampleQueue& q, std::vector<uint8_t>& dest, DWORD timeout = 0) {
    Popped p{};
    p.length = q.Pop(dest.data(), timeout, &p.start, &p.stop);
    return p;
}

}  // namespace

TEST(SampleQueue, FillsToHundredDropsTheRestAndPopsInOrder) {
    auto q = CSampleQueue::Create();
    ASSERT_NE(q, nullptr);
    std::vector<uint8_t> dest(kEntry);
    REFERENCE_TIME s = 77, e = 88;
    for (int i = 0; i < 101; ++i) {
        uint8_t b[3] = {uint8_t(i), uint8_t(i + 1), uint8_t(i + 2)};
        // Times count only with both pointers.
        q->Push(b, 1 + i % 3, i % 3 != 2 ? &s : nullptr, i % 3 != 1 ? &e : nullptr);
    }
    EXPECT_EQ(q->Count(), 100);
    for (int i = 0; i < 100; ++i) {
        Popped p = Pop(*q, dest);
        ASSERT_EQ(p.length, uint32_t(1 + i % 3)) << i;
        EXPECT_EQ(dest[0], uint8_t(i)) << i;
        EXPECT_EQ(p.start, i % 3 == 0 ? 77 : 0) << i;
        EXPECT_EQ(p.stop, i % 3 == 0 ? 88 : 0) << i;
    }
    // The dropped 101st push left no entry and no stray semaphore unit behind it.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(q->Pop(dest.data(), 60, nullptr, nullptr), 0u);
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, std::chrono::milliseconds(55));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    EXPECT_EQ(q->Count(), 0);
}

TEST(SampleQueue, LongDataIsSplitIntoWholePacketsWithTimesOnTheFirstPiece) {
    auto q = CSampleQueue::Create();
    ASSERT_NE(q, nullptr);
    std::vector<uint8_t> dest(kEntry);
    constexpr uint32_t kPiece = 767'040;
    struct Case {
        uint32_t packet, length, pieces;
    } cases[] = {
        {188, kEntry, 1},  // a whole entry is not cut
        {188, 3 * kEntry + 188 * 5, 4},
        {192, 192 * 4011, 2},  // 770,112 bytes: cut at 767,040 rather than inside packet 4,011
        {204, 204 * 11'300, 4},
    };
    for (const Case& c : cases) {
        auto data = Pattern(c.length, uint8_t(c.packet));
        REFERENCE_TIME s = 500, e = 900;
        q->Push(data.data(), c.length, &s, &e);
        ASSERT_EQ(q->Count(), int(c.pieces)) << c.packet;
        std::vector<uint8_t> joined;
        for (uint32_t i = 0; i < c.pieces; ++i) {
            Popped p = Pop(*q, dest);
            EXPECT_EQ(p.length % c.packet, 0u) << c.packet << " piece " << i;
            if (i + 1 < c.pieces) {
                EXPECT_EQ(p.length, kPiece) << c.packet << " piece " << i;
            }
            EXPECT_EQ(p.start, i == 0 ? 500 : 0) << c.packet << " piece " << i;
            joined.insert(joined.end(), dest.begin(), dest.begin() + p.length);
        }
        EXPECT_EQ(joined, data) << c.packet;
    }
}

TEST(SampleQueue, AQueueThatFillsPartWayDropsTheRestAsWholePackets) {
    auto q = CSampleQueue::Create();
    ASSERT_NE(q, nullptr);
    std::vector<uint8_t> dest(kEntry);
    for (uint32_t packet : {188u, 192u, 204u}) {
        const uint32_t length = packet * 12'000;  // three pieces
        auto data = Pattern(length, uint8_t(packet));
        uint8_t b = 0;
        for (int i = 0; i < 98; ++i) q->Push(&b, 1, nullptr, nullptr);
        q->Push(data.data(), length, nullptr, nullptr);
        ASSERT_EQ(q->Count(), 100) << packet;
        for (int i = 0; i < 98; ++i) ASSERT_EQ(Pop(*q, dest).length, 1u);
        // Once the queue has room again, nothing of the cut sample follows.
        q->Push(&b, 1, nullptr, nullptr);
        size_t kept = 0;
        for (int i = 0; i < 2; ++i) {
            uint32_t n = Pop(*q, dest).length;
            ASSERT_EQ(n % packet, 0u) << packet;
            EXPECT_TRUE(std::equal(dest.begin(), dest.begin() + n, data.begin() + long(kept))) << packet;
            kept += n;
        }
        EXPECT_EQ(Pop(*q, dest).length, 1u) << packet;
        EXPECT_EQ(q->Count(), 0) << packet;
    }
}

TEST(SampleQueue, ConcurrentProducerAndConsumerKeepOrderAndContent) {
    auto q = CSampleQueue::Create();
    ASSERT_NE(q, nullptr);
    constexpr int kCount = 5000;
    std::thread producer([&] {
        std::vector<uint8_t> buf(1500);
        for (int i = 0; i < kCount; ++i) {
            // Stay below full so that nothing is dropped.
            while (q->Count() >= CSampleQueue::kEntries) std::this_thread::yield();
            uint32_t len = 188 + (i * 37) % 1200;
            for (uint32_t k = 0; k < len; ++k) buf[k] = static_cast<uint8_t>(i + k);
            REFERENCE_TIME s = i, e = i + 1;
            q->Push(buf.data(), len, &s, &e);
        }
    });
    std::vector<uint8_t> dest(kEntry);
    for (int got = 0; got < kCount; ++got) {
        Popped p = Pop(*q, dest, 2000);
        ASSERT_EQ(p.length, 188 + uint32_t(got * 37) % 1200) << "consumer starved or out of order at " << got;
        ASSERT_EQ(p.start, got);
        ASSERT_EQ(p.stop, got + 1);
        for (uint32_t k = 0; k < p.length; ++k) ASSERT_EQ(dest[k], static_cast<uint8_t>(got + k));
    }
    producer.join();
}
