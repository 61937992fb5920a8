#include "filter/SampleQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kEntry = CSampleQueue::kEntrySize;

std::unique_ptr<CSampleQueue> NewQueue() {
    auto q = CSampleQueue::Create();
    EXPECT_NE(q, nullptr);
    return q;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

struct Popped {
    uint32_t length;
    REFERENCE_TIME start, stop;
};

Popped PopInto(CSampleQueue& q, std::vector<uint8_t>& dest, DWORD timeout = 0) {
    Popped p{};
    p.start = p.stop = -1;
    p.length = q.Pop(dest.data(), timeout, &p.start, &p.stop);
    return p;
}

}  // namespace

TEST(SampleQueue, FillsToHundredDropsTheNextAndPopsInOrder) {
    auto q = NewQueue();
    std::vector<uint8_t> dest(kEntry);
    for (int i = 0; i < 101; ++i) {
        uint8_t b[3] = {uint8_t(i), uint8_t(i + 1), uint8_t(i + 2)};
        q->Push(b, 1 + i % 3, nullptr, nullptr);
    }
    EXPECT_EQ(q->Count(), 100);
    for (int i = 0; i < 100; ++i) {
        Popped p = PopInto(*q, dest);
        ASSERT_EQ(p.length, uint32_t(1 + i % 3)) << i;
        EXPECT_EQ(dest[0], uint8_t(i));
    }
    // The dropped 101st push left no entry and no stray semaphore unit behind it.
    EXPECT_EQ(q->Pop(dest.data(), 0, nullptr, nullptr), 0u);
    EXPECT_EQ(q->Count(), 0);
}

TEST(SampleQueue, WrapsAroundTheRingManyTimes) {
    auto q = NewQueue();
    std::vector<uint8_t> dest(kEntry);
    for (int i = 0; i < 1000; ++i) {
        uint32_t v = i;
        REFERENCE_TIME s = i * 10, e = i * 10 + 5;
        q->Push(reinterpret_cast<uint8_t*>(&v), 4, &s, &e);
        if (i % 3 == 2) {
            for (int k = 0; k < 3; ++k) {
                Popped p = PopInto(*q, dest);
                ASSERT_EQ(p.length, 4u);
                uint32_t got;
                std::memcpy(&got, dest.data(), 4);
                EXPECT_EQ(got, uint32_t(i - 2 + k));
                EXPECT_EQ(p.start, REFERENCE_TIME(got) * 10);
                EXPECT_EQ(p.stop, REFERENCE_TIME(got) * 10 + 5);
            }
        }
    }
}

TEST(SampleQueue, TimesNeedBothPointers) {
    auto q = NewQueue();
    std::vector<uint8_t> dest(kEntry);
    uint8_t b = 1;
    REFERENCE_TIME t = 1234;
    q->Push(&b, 1, &t, nullptr);
    q->Push(&b, 1, nullptr, &t);
    REFERENCE_TIME s = 77, e = 88;
    q->Push(&b, 1, &s, &e);
    for (int i = 0; i < 2; ++i) {
        Popped p = PopInto(*q, dest);
        EXPECT_EQ(p.length, 1u);
        EXPECT_EQ(p.start, 0);
        EXPECT_EQ(p.stop, 0);
    }
    Popped p = PopInto(*q, dest);
    EXPECT_EQ(p.start, 77);
    EXPECT_EQ(p.stop, 88);
}

TEST(SampleQueue, EntryOfExactlyTheLimitIsStoredWhole) {
    auto q = NewQueue();
    std::vector<uint8_t> dest(kEntry);
    auto data = Pattern(kEntry, 3);
    q->Push(data.data(), kEntry, nullptr, nullptr);
    EXPECT_EQ(q->Count(), 1);
    Popped p = PopInto(*q, dest);
    ASSERT_EQ(p.length, kEntry);
    EXPECT_EQ(dest, data);
}

TEST(SampleQueue, LongerDataIsSplitAtEntryBoundariesWithTimesOnTheFirstPiece) {
    auto q = NewQueue();
    std::vector<uint8_t> dest(kEntry);
    const size_t total = 3 * size_t(kEntry) + 5;
    auto data = Pattern(total, 9);
    REFERENCE_TIME s = 500, e = 900;
    q->Push(data.data(), static_cast<uint32_t>(total), &s, &e);
    ASSERT_EQ(q->Count(), 4);
    std::vector<uint8_t> joined;
    for (int i = 0; i < 4; ++i) {
        Popped p = PopInto(*q, dest);
        ASSERT_EQ(p.length, i < 3 ? kEntry : 5u);
        EXPECT_EQ(p.start, i == 0 ? 500 : 0);
        EXPECT_EQ(p.stop, i == 0 ? 900 : 0);
        joined.insert(joined.end(), dest.begin(), dest.begin() + p.length);
    }
    EXPECT_EQ(joined, data);
}

TEST(SampleQueue, OneByteOverTheLimitBecomesTwoEntries) {
    auto q = NewQueue();
    std::vector<uint8_t> dest(kEntry);
    auto data = Pattern(size_t(kEntry) + 1, 1);
    q->Push(data.data(), kEntry + 1, nullptr, nullptr);
    EXPECT_EQ(PopInto(*q, dest).length, kEntry);
    EXPECT_EQ(PopInto(*q, dest).length, 1u);
    EXPECT_EQ(dest[0], data.back());
}

TEST(SampleQueue, SplitIntoANearlyFullQueueKeepsWhatFitsAndDropsTheRest) {
    auto q = NewQueue();
    std::vector<uint8_t> dest(kEntry);
    uint8_t b = 0;
    for (int i = 0; i < 98; ++i) q->Push(&b, 1, nullptr, nullptr);
    auto data = Pattern(3 * size_t(kEntry), 5);
    q->Push(data.data(), 3 * kEntry, nullptr, nullptr);
    EXPECT_EQ(q->Count(), 100);
    for (int i = 0; i < 98; ++i) ASSERT_EQ(PopInto(*q, dest).length, 1u);
    ASSERT_EQ(PopInto(*q, dest).length, kEntry);
    EXPECT_TRUE(std::equal(dest.begin(), dest.end(), data.begin()));
    ASSERT_EQ(PopInto(*q, dest).length, kEntry);
    EXPECT_TRUE(std::equal(dest.begin(), dest.end(), data.begin() + kEntry));
    EXPECT_EQ(PopInto(*q, dest).length, 0u);
}

TEST(SampleQueue, PopOnEmptyReturnsZeroAfterItsTimeout) {
    auto q = NewQueue();
    std::vector<uint8_t> dest(16);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(q->Pop(dest.data(), 60, nullptr, nullptr), 0u);
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, std::chrono::milliseconds(55));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

TEST(SampleQueue, ConcurrentProducerAndConsumerKeepOrderAndContent) {
    auto q = NewQueue();
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
    int got = 0;
    while (got < kCount) {
        REFERENCE_TIME s = -1, e = -1;
        uint32_t n = q->Pop(dest.data(), 2000, &s, &e);
        ASSERT_NE(n, 0u) << "consumer starved at " << got;
        ASSERT_EQ(n, 188 + uint32_t(got * 37) % 1200);
        ASSERT_EQ(s, got);
        ASSERT_EQ(e, got + 1);
        for (uint32_t k = 0; k < n; ++k) ASSERT_EQ(dest[k], static_cast<uint8_t>(got + k));
        ++got;
    }
    producer.join();
}
