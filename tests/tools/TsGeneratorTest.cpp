#include "tools/tsgen/TsGenerator.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <vector>

namespace {

constexpr uint64_t Wrap = (uint64_t{1} << 33) * 300;

struct Packet {
    const uint8_t* ts;  // the 188 bytes proper
    uint16_t pid;
    bool unitStart;
    bool payload;
    bool adaptation;
    uint8_t cc;
    bool hasPcr;
    uint64_t pcr;
};

Packet Parse(const uint8_t* ts) {
    Packet p{ts, static_cast<uint16_t>((ts[1] & 0x1F) << 8 | ts[2]), (ts[1] & 0x40) != 0, (ts[3] & 0x10) != 0,
             (ts[3] & 0x20) != 0, static_cast<uint8_t>(ts[3] & 0x0F), false, 0};
    if (p.adaptation && ts[4] > 0 && (ts[5] & 0x10)) {
        const uint64_t base = uint64_t{ts[6]} << 25 | uint64_t{ts[7]} << 17 | uint64_t{ts[8]} << 9 |
                              uint64_t{ts[9]} << 1 | ts[10] >> 7;
        p.hasPcr = true;
        p.pcr = base * 300 + ((ts[10] & 1u) << 8 | ts[11]);
    }
    return p;
}

uint64_t ExpectedClock(const TsGeneratorOptions& o, uint64_t index) {
    const unsigned __int128 ticks = static_cast<unsigned __int128>(index) * o.packetSize * 8 * 27'000'000 / o.bitrate;
    return static_cast<uint64_t>((o.startPcr + ticks) % Wrap);
}

std::vector<uint8_t> Make(TsGeneratorOptions o, size_t packets) {
    TsGenerator g(o);
    std::vector<uint8_t> out(packets * o.packetSize);
    EXPECT_EQ(g.Generate(out.data(), packets), packets);
    return out;
}

// A whole section including its CRC leaves no remainder.
uint32_t SectionRemainder(const uint8_t* section) {
    const size_t length = 3 + ((section[1] & 0x0F) << 8 | section[2]);
    return TsGenerator::Crc32(section, length);
}

}  // namespace

TEST(TsGeneratorCrc, MatchesTheMpegCheckValue) {
    const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(TsGenerator::Crc32(text, sizeof text), 0x0376E6E7u);
    EXPECT_EQ(TsGenerator::Crc32(text, 0), 0xFFFFFFFFu);
}

class TsGeneratorStream : public ::testing::TestWithParam<unsigned> {};

TEST_P(TsGeneratorStream, ParsesWithConsistentCountersTablesAndClock) {
    TsGeneratorOptions o;
    o.packetSize = GetParam();
    o.bitrate = 3'000'000;
    o.pcrPid = 0x1ABC;
    o.startPcr = Wrap - 27'000'000;  // wraps one second in
    const size_t count = 4000;        // about 2 s
    const auto data = Make(o, count);
    const size_t prefix = o.packetSize == 192 ? 4 : 0;
    const double packetTicks = o.packetSize * 8.0 * 27e6 / o.bitrate;

    std::map<uint16_t, int> lastCc;
    std::map<uint16_t, size_t> perPid;
    size_t adaptationOnly = 0, pesStarts = 0, wraps = 0;
    std::vector<std::pair<size_t, uint64_t>> pcrs;
    std::vector<size_t> patAt;
    for (size_t k = 0; k < count; ++k) {
        const uint8_t* raw = data.data() + k * o.packetSize;
        const uint64_t clock = ExpectedClock(o, k);
        ASSERT_EQ(TsGenerator::PcrOfPacket(o, k), clock) << k;
        if (o.packetSize == 192) {
            const uint32_t stamp = uint32_t{raw[0]} << 24 | raw[1] << 16 | raw[2] << 8 | raw[3];
            ASSERT_EQ(stamp, clock & 0x3FFFFFFF) << k;
        }
        if (o.packetSize == 204) {
            for (size_t b = 188; b < 204; ++b) ASSERT_EQ(raw[b], 0) << k;
        }
        ASSERT_EQ(raw[prefix], 0x47) << k;
        const Packet p = Parse(raw + prefix);
        ++perPid[p.pid];

        // Counter advances on payload packets only, per PID.
        if (auto it = lastCc.find(p.pid); it != lastCc.end()) {
            ASSERT_EQ(p.cc, (it->second + (p.payload ? 1 : 0)) & 0x0F) << "pid " << p.pid << " packet " << k;
        }
        lastCc[p.pid] = p.cc;
        adaptationOnly += !p.payload;
        if (p.hasPcr) {
            ASSERT_EQ(p.pid, o.pcrPid);
            ASSERT_EQ(p.pcr, clock) << k;
            wraps += !pcrs.empty() && p.pcr < pcrs.back().second;
            pcrs.emplace_back(k, p.pcr);
        }
        if (p.pid == o.pcrPid && p.unitStart) {
            ++pesStarts;
            const uint8_t* pes = p.ts + 4 + (p.adaptation ? 1 + p.ts[4] : 0);
            EXPECT_EQ((uint32_t{pes[0]} << 24 | pes[1] << 16 | pes[2] << 8 | pes[3]), 0x000001E0u);
            EXPECT_EQ(pes[7], 0x80);  // PTS present
        } else if (p.pid == o.pcrPid && p.payload) {
            const uint8_t* body = p.ts + 4 + (p.adaptation ? 1 + p.ts[4] : 0);
            for (const uint8_t* b = body; b < p.ts + 188; ++b) ASSERT_NE(*b, 0x47) << k;
        }
        if (p.pid == 0) {
            patAt.push_back(k);
            const uint8_t* s = p.ts + 5;
            ASSERT_EQ(s[0], 0x00);
            EXPECT_EQ(SectionRemainder(s), 0u);
            EXPECT_EQ((s[10] & 0x1F) << 8 | s[11], o.pmtPid);
        }
        if (p.pid == o.pmtPid) {
            const uint8_t* s = p.ts + 5;
            ASSERT_EQ(s[0], 0x02);
            EXPECT_EQ(SectionRemainder(s), 0u);
            EXPECT_EQ((s[8] & 0x1F) << 8 | s[9], o.pcrPid);   // PCR PID
            EXPECT_EQ(s[12], 0x02);                           // MPEG-2 video
            EXPECT_EQ((s[13] & 0x1F) << 8 | s[14], o.pcrPid);  // its PID
        }
    }
    EXPECT_GT(perPid[0x1FFF], 0u);
    EXPECT_GT(adaptationOnly, 0u);
    EXPECT_GT(pesStarts, 0u);
    EXPECT_EQ(perPid.size(), 4u);

    // A PCR every 40 ms, late by less than one packet, across the wrap too.
    EXPECT_EQ(wraps, 1u);
    ASSERT_GE(pcrs.size(), 40u);
    for (size_t j = 1; j < pcrs.size(); ++j) {
        const double gap = static_cast<double>((pcrs[j].second + Wrap - pcrs[j - 1].second) % Wrap);
        EXPECT_GT(gap, 40 * 27000 - packetTicks) << j;
        EXPECT_LT(gap, 40 * 27000 + packetTicks) << j;
    }
    // PAT (and PMT after it) ten times a second.
    ASSERT_GE(patAt.size(), 15u);
    for (size_t j = 1; j < patAt.size(); ++j) {
        const double gap = (patAt[j] - patAt[j - 1]) * packetTicks;
        EXPECT_NEAR(gap, 100 * 27000, 3 * packetTicks);
    }
}

INSTANTIATE_TEST_SUITE_P(PacketSizes, TsGeneratorStream, ::testing::Values(188u, 192u, 204u));

TEST(TsGenerator, OnDemandChunksMatchOneRunAndStopAtTheLimit) {
    TsGeneratorOptions o;
    o.packetSize = 204;
    o.seed = 77;
    const auto whole = Make(o, 300);

    o.packetLimit = 300;
    TsGenerator live(o);
    std::vector<uint8_t> pieces(301 * 204);
    size_t done = 0;
    for (size_t chunk : {1, 7, 100, 150}) done += live.Generate(pieces.data() + done * 204, chunk);
    EXPECT_EQ(done, 258u);
    done += live.Generate(pieces.data() + done * 204, 100);
    EXPECT_EQ(done, 300u);
    EXPECT_EQ(live.Generate(pieces.data(), 5), 0u);
    EXPECT_EQ(live.PacketsGenerated(), 300u);
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), pieces.begin()));

    // Another seed changes the payload bytes only.
    o.seed = 78;
    const auto other = Make(o, 300);
    EXPECT_NE(whole, other);
    for (size_t k = 0; k < 300; ++k) {
        const Packet p = Parse(whole.data() + k * 204), q = Parse(other.data() + k * 204);
        ASSERT_EQ(p.pid, q.pid);
        ASSERT_EQ(p.cc, q.cc);
        ASSERT_EQ(p.pcr, q.pcr);
    }
}

TEST(TsGenerator, WithoutPcrTheProgramPointsAtTheNullPid) {
    TsGeneratorOptions o;
    o.pcrIntervalMs = 0;
    o.videoPercent = 0;
    const auto data = Make(o, 600);
    size_t pmts = 0;
    for (size_t k = 0; k < 600; ++k) {
        const Packet p = Parse(data.data() + k * 188);
        EXPECT_FALSE(p.hasPcr);
        EXPECT_NE(p.pid, o.pcrPid);  // no payload share and no PCR: nothing on the stream PID
        if (p.pid == o.pmtPid) {
            ++pmts;
            EXPECT_EQ((p.ts[13] & 0x1F) << 8 | p.ts[14], 0x1FFF);
        }
    }
    EXPECT_GE(pmts, 2u);
}

// The common cases are the tsgen command's; these are the edges.
TEST(TsGenerator, DurationGivesWholePackets) {
    EXPECT_EQ(TsGenerator::PacketsForDuration(1504, 1000, 188), 1u);
    EXPECT_EQ(TsGenerator::PacketsForDuration(1503, 1000, 188), 0u);
    EXPECT_EQ(TsGenerator::PacketsForDuration(UINT32_MAX, UINT64_MAX / 4, 188), UINT64_MAX);
}

TEST(TsGenerator, RejectsUnusableOptions) {
    auto error = [](auto change) {
        TsGeneratorOptions o;
        change(o);
        return TsGenerator::Validate(o);
    };
    EXPECT_EQ(error([](auto&) {}), "");
    EXPECT_EQ(error([](auto& o) { o.packetSize = 190; }), "packet size must be 188, 192 or 204, not 190");
    EXPECT_EQ(error([](auto& o) { o.pcrPid = 0x1FFF; }), "PCR PID 0x1FFF is outside 0x0010..0x1FFE");
    EXPECT_EQ(error([](auto& o) { o.pcrPid = 0x000F; }), "PCR PID 0x000F is outside 0x0010..0x1FFE");
    EXPECT_EQ(error([](auto& o) { o.pcrPid = 0x1000; }), "PCR PID and PMT PID are both 0x1000");
    EXPECT_EQ(error([](auto& o) { o.startPcr = Wrap; }),
              "start PCR 2576980377600 is not below 2576980377600, where the PCR wraps");
    EXPECT_EQ(error([](auto& o) { o.startPcr = Wrap - 1; }), "");
    EXPECT_EQ(error([](auto& o) { o.videoPercent = 101; }), "video share 101% is above 100%");
    EXPECT_EQ(error([](auto& o) { o.bitrate = 150'400; }), "");
    EXPECT_EQ(error([](auto& o) { o.bitrate = 150'399; }),
              "bitrate 150399 bits/s is too low for 188-byte packets and a PCR every 40 ms: at least 150400 bits/s");
    EXPECT_EQ(error([](auto& o) { o.bitrate = 0; o.pcrIntervalMs = 0; o.packetSize = 204; }),
              "bitrate 0 bits/s is too low for 204-byte packets and no PCR: at least 48960 bits/s");
    TsGeneratorOptions bad;
    bad.packetSize = 0;
    EXPECT_THROW(TsGenerator{bad}, std::invalid_argument);
}
