#include "feeds/file/StreamAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "tests/feeds_file/FileFeedTestSupport.h"
#include "tools/tsgen/TsGenerator.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t Skip = 5'242'880;
constexpr size_t Window = 5'242'880;
using filefeedtest::Bytes;

Bytes Generate(const TsGeneratorOptions& o, size_t packets) {
    TsGenerator g(o);
    Bytes out(packets * o.packetSize);
    g.Generate(out.data(), packets);
    return out;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

size_t PacketsFor(const TsGeneratorOptions& o, size_t bytes) { return bytes / o.packetSize + 1; }

struct PcrPacket {
    size_t index;
    size_t sync;  // offset of the sync byte in the file
    uint16_t pid;
    uint64_t pcr;
};

// The PCR packets of a file; with `window`, only those the measurement can see: inside
// the window, with a sync byte after them. Packet-aligned, independent of the searches
// under test.
std::vector<PcrPacket> Visible(const Bytes& file, unsigned size, bool window = true) {
    std::vector<PcrPacket> out;
    const size_t prefix = size == 192 ? 4 : 0;
    const size_t n = file.size() > Skip ? std::min(file.size() - Skip, Window) : 0;
    for (size_t k = 0; (k + 1) * size <= file.size(); ++k) {
        const uint8_t* ts = file.data() + k * size + prefix;
        const size_t sync = k * size + prefix;
        if (ts[0] != 0x47 || (ts[1] & 0x80) || !(ts[3] & 0x20) || ts[4] == 0 || !(ts[5] & 0x10)) continue;
        if (window && (sync < Skip || sync - Skip + size + 6 >= n)) continue;
        const uint64_t base = uint64_t{ts[6]} << 25 | uint64_t{ts[7]} << 17 | uint64_t{ts[8]} << 9 |
                              uint64_t{ts[9]} << 1 | ts[10] >> 7;
        out.push_back({k, sync, static_cast<uint16_t>((ts[1] & 0x1F) << 8 | ts[2]),
                       base * 300 + ((ts[10] & 1u) << 8 | ts[11])});
    }
    return out;
}

// A 188-byte packet carrying a PCR.
Bytes PcrPacket188(uint16_t pid, uint64_t pcr, uint8_t headerFlags = 0) {
    const uint64_t base = pcr / 300, ext = pcr % 300;
    Bytes ts(188, 0xFF);
    const uint8_t header[12] = {0x47, uint8_t(headerFlags | pid >> 8), uint8_t(pid), 0x30, 7, 0x10,
                                uint8_t(base >> 25), uint8_t(base >> 17), uint8_t(base >> 9), uint8_t(base >> 1),
                                uint8_t((base & 1) << 7 | 0x7E | ext >> 8), uint8_t(ext)};
    std::copy(header, header + 12, ts.begin());
    return ts;
}

Bytes NullPackets(size_t count) {
    Bytes out(count * 188, 0xFF);
    for (size_t i = 0; i < out.size(); i += 188) out[i] = 0x47, out[i + 1] = 0x1F, out[i + 3] = 0x10;
    return out;
}

class StreamAnalysis : public ::testing::Test {
protected:
    std::u16string Wide(const std::string& name) { return fs::path(dir.File(name)).u16string(); }
    uint32_t Measure(const Bytes& data) {
        dir.Write("s.ts", data);
        return MeasureFileBitrate(Wide("s.ts").c_str());
    }

    filefeedtest::TempDir dir;
};

}  // namespace

// Detected and found sizes: DetectPacketSize says 204 without a clear winner;
// FindPacketSize says 0 only when no spacing holds a sync pair at all.
static std::pair<uint32_t, uint32_t> Sizes(const Bytes& data, size_t length) {
    const auto n = static_cast<uint32_t>(length);
    return {DetectPacketSize(data.data(), n), FindPacketSize(data.data(), n)};
}

TEST(PacketSize, RecognisesEachLayoutFromAnyStartingByteAndTellsTiesAndNoiseApart) {
    for (unsigned size : {188u, 192u, 204u}) {
        const Bytes data = Generate({.packetSize = size}, 200);
        for (size_t start : {size_t{0}, size_t{1}, size_t{97}, size_t{5 * size + 3}})
            EXPECT_EQ(Sizes(Bytes(data.begin() + start, data.end()), 10'240), std::pair(size, size)) << start;
    }
    Bytes noise = filefeedtest::Pattern(10'240);
    std::replace(noise.begin(), noise.end(), uint8_t{0x47}, uint8_t{0});
    EXPECT_EQ(Sizes(noise, noise.size()), std::pair(204u, 0u));
    const std::string text = "root:x:0:0:root:/root:/bin/bash\nGnats Bug-Reporting System:/var/lib/gnats\n";
    EXPECT_EQ(Sizes(Bytes(text.begin(), text.end()), text.size()), std::pair(204u, 0u));
    EXPECT_EQ(Sizes(Bytes(188 * 3, 0x47), 188 * 3), std::pair(204u, 204u));  // all three spacings tie
    EXPECT_EQ(DetectPacketSize(nullptr, 100), 204u);
    EXPECT_EQ(FindPacketSize(nullptr, 10), 0u);
    // One 188 pair and one 192 pair tie; a second 188 pair (412..600) breaks the tie.
    Bytes pairs(700, 0);
    pairs[0] = pairs[188] = pairs[300] = pairs[492] = 0x47;
    EXPECT_EQ(Sizes(pairs, 700), std::pair(204u, 204u));
    pairs[412] = pairs[600] = 0x47;
    EXPECT_EQ(Sizes(pairs, 700), std::pair(188u, 188u));
    // A pair must leave one byte beyond it.
    EXPECT_EQ(Sizes(pairs, 189), std::pair(204u, 0u));
    EXPECT_EQ(Sizes(pairs, 190), std::pair(188u, 188u));
    Bytes lone(700, 0);
    lone[3] = lone[3 + 204] = 0x47;
    EXPECT_EQ(Sizes(lone, 700), std::pair(204u, 204u));
}

// Bitrates whose PCR step per packet is a whole number of ticks, so the result is exact.
TEST_F(StreamAnalysis, MeasuresGeneratedStreamsOfEachLayoutExactly) {
    for (auto [size, bitrate] : {std::pair{188u, 4'000'000u}, {192u, 4'000'000u}, {204u, 16'000'000u},
                                 {192u, 64'000'000u}}) {
        const TsGeneratorOptions o{.bitrate = bitrate, .packetSize = size, .pcrPid = 0x0777};
        ASSERT_EQ(uint64_t{size} * 216'000'000 % bitrate, 0u);
        EXPECT_EQ(Measure(Generate(o, PacketsFor(o, Skip + 3 * (bitrate / 8 / 25)))), bitrate) << size;
    }
}

TEST_F(StreamAnalysis, NothingAfterTheFirstFiveMebibytesOrNoPcrGivesZero) {
    TsGeneratorOptions o;
    const Bytes full = Generate(o, PacketsFor(o, Skip + 100'000));
    EXPECT_EQ(Measure(Bytes(full.begin(), full.begin() + Skip)), 0u);
    EXPECT_EQ(Measure(Bytes{}), 0u);
    // The second PCR counts only with a sync byte's worth of bytes beyond its packet.
    const size_t tight = Visible(full, 188).at(1).sync + 188 + 6;
    EXPECT_EQ(Measure(Bytes(full.begin(), full.begin() + tight)), 0u);
    EXPECT_EQ(Measure(Bytes(full.begin(), full.begin() + tight + 1)), 4'000'000u);

    o.pcrIntervalMs = 0;
    EXPECT_EQ(Measure(Generate(o, PacketsFor(o, Skip + Window))), 0u);
}

TEST_F(StreamAnalysis, PcrWrapBetweenTheTwoGivesZero) {
    TsGeneratorOptions a;
    const size_t packets = PacketsFor(a, Skip + 100'000);
    const size_t first = Visible(Generate(a, packets), 188).at(0).index;
    a.startPcr = TsGenerator::PcrWrap - TsGenerator::PcrOfPacket(a, first) - 1000;
    const Bytes wrapping = Generate(a, packets);
    ASSERT_LT(Visible(wrapping, 188).at(1).pcr, Visible(wrapping, 188).at(0).pcr);
    EXPECT_EQ(Measure(wrapping), 0u);
    a.startPcr = TsGenerator::PcrWrap - 27'000'000;  // a wrap early in the file is of no concern
    EXPECT_EQ(Measure(Generate(a, packets)), 4'000'000u);
}

TEST_F(StreamAnalysis, FollowsTheArithmeticOfTheFirstPcrPair) {
    auto file = [](std::initializer_list<Bytes> parts, size_t misalign = 0) {
        Bytes f(Skip + misalign, 0);
        for (const auto& p : parts) Append(f, p);
        Append(f, NullPackets(3));
        return f;
    };
    const uint32_t tenPackets = uint32_t(1880ull * 216'000'000 / 12'345);
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 5000), NullPackets(9), PcrPacket188(0x100, 17'345)})), tenPackets);
    // From an odd starting byte; a packet with the transport error flag is no PCR.
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 999'999, 0x80), PcrPacket188(0x100, 5000), NullPackets(9),
                            PcrPacket188(0x100, 17'345)},
                           7)),
              tenPackets);
    // Another PID in between is passed over; unit start and priority bits do not matter.
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 5000), PcrPacket188(0x101, 6000), NullPackets(8),
                            PcrPacket188(0x100, 17'345, 0x60)})),
              tenPackets);
    // Equal PCRs give 0; a one-tick step overflows 32 bits and is cut.
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 5000), NullPackets(9), PcrPacket188(0x100, 5000)})), 0u);
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 5000), NullPackets(9), PcrPacket188(0x100, 5001)})),
              uint32_t(1880ull * 216'000'000));
    // The extension is added to base x 300 as it stands, even out of its range: 300 + 0 - 300 ... = 0.
    Bytes ext300 = PcrPacket188(0x100, 0);
    ext300[10] = 0x7F, ext300[11] = 0x2C;
    EXPECT_EQ(Measure(file({ext300, NullPackets(9), PcrPacket188(0x100, 300)})), 0u);
}

TEST_F(StreamAnalysis, OpensNamesGivenAsUtf16OrAsWidenedBytesAndNothingElse) {
    EXPECT_EQ(MeasureFileBitrate(nullptr), 0u);
    EXPECT_EQ(MeasureFileBitrate(u""), 0u);
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const char* name : {"missing.ts", "", "fifo"}) EXPECT_EQ(MeasureFileBitrate(Wide(name).c_str()), 0u) << name;
    const char16_t lone[] = {u'/', 0xD800, u'x', 0};
    EXPECT_EQ(MeasureFileBitrate(lone), 0u);
    TsGeneratorOptions o;
    const std::string name = "caf\xC3\xA9 \xE2\x82\xAC.ts";  // "café €.ts" in UTF-8
    const std::string path = dir.Write(name, Generate(o, PacketsFor(o, Skip + 100'000)));
    EXPECT_EQ(MeasureFileBitrate((Wide("") + u"caf\u00E9 \u20AC.ts").c_str()), 4'000'000u);
    std::u16string widened;
    for (unsigned char c : path) widened += static_cast<char16_t>(c);
    EXPECT_EQ(MeasureFileBitrate(widened.c_str()), 4'000'000u);
}

TEST_F(StreamAnalysis, SummaryAddsEveryPcrStepOfTheWholeFile) {
    struct Case {
        const char* what;
        TsGeneratorOptions options;
        uint64_t milliseconds;
    };
    const Case cases[] = {
        {"188 over several read chunks", {.bitrate = 4'000'000}, 3000},
        {"192", {.bitrate = 6'000'000, .packetSize = 192}, 500},
        {"204 on another PID", {.bitrate = 16'000'000, .packetSize = 204, .pcrPid = 0x1FFE}, 500},
        {"wrapping", {.bitrate = 8'000'000, .startPcr = TsGenerator::PcrWrap - 13'500'000}, 1000},
    };
    for (const auto& c : cases) {
        const Bytes data =
            Generate(c.options, TsGenerator::PacketsForDuration(c.options.bitrate, c.milliseconds, c.options.packetSize));
        const auto pcrs = Visible(data, c.options.packetSize, false);
        const StreamFileSummary s = SummariseStreamFile(dir.Write("w.ts", data).c_str());
        EXPECT_EQ(s.size, data.size()) << c.what;
        EXPECT_EQ(s.packetSize, c.options.packetSize) << c.what;
        EXPECT_EQ(s.pcrPid, c.options.pcrPid) << c.what;
        EXPECT_EQ(s.pcrCount, pcrs.size()) << c.what;
        EXPECT_EQ(s.pcrBytes, pcrs.back().sync - pcrs.front().sync) << c.what;
        EXPECT_EQ(s.pcrTicks, (pcrs.back().pcr + TsGenerator::PcrWrap - pcrs.front().pcr) % TsGenerator::PcrWrap)
            << c.what;
        EXPECT_NEAR(s.AverageBitrate(), c.options.bitrate, 1.0) << c.what;
    }
}

// Hand-made PCR packets among null packets; each case lists (PID, PCR, flags) with the
// null packets before it.
TEST_F(StreamAnalysis, SummaryLeavesOutStepsThatAreNoPlayingTime) {
    struct Pcr {
        size_t nullsBefore;
        uint16_t pid;
        uint64_t pcr;
        uint8_t discontinuityFlag = 0;
    };
    struct Case {
        const char* what;
        std::vector<Pcr> pcrs;
        uint64_t count, bytes, ticks, discontinuities;
    };
    constexpr uint64_t Second = 27'000'000;
    const Case cases[] = {
        {"variable rate: the average, not one interval",
         {{0, 0x100, 0}, {9, 0x100, Second / 100}, {99, 0x100, Second}}, 3, 110 * 188, Second, 0},
        {"another PID's PCRs are not followed",
         {{0, 0x100, 0}, {4, 0x200, 5 * Second}, {4, 0x100, Second / 10}}, 2, 10 * 188, Second / 10, 0},
        {"a splice going back in time",
         {{0, 0x100, 50 * Second}, {9, 0x100, 50 * Second + 3000}, {9, 0x100, 7}, {9, 0x100, 3007}}, 4,
         20 * 188, 6000, 1},
        {"a flagged discontinuity",
         {{0, 0x100, 0}, {9, 0x100, 3000}, {9, 0x100, 6000, 0x80}, {9, 0x100, 9000}}, 4, 20 * 188, 6000, 1},
        {"a leap over a second, a standstill",
         {{0, 0x100, 0}, {9, 0x100, Second + 1}, {9, 0x100, Second + 1}, {9, 0x100, 2 * Second}}, 4, 10 * 188,
         Second - 1, 2},
        {"a lone PCR", {{3, 0x100, 1234}}, 1, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Bytes file;
        for (const Pcr& p : c.pcrs) {
            Append(file, NullPackets(p.nullsBefore));
            Bytes packet = PcrPacket188(p.pid, p.pcr);
            packet[5] |= p.discontinuityFlag;
            Append(file, packet);
        }
        Append(file, NullPackets(2));
        const StreamFileSummary s = SummariseStreamFile(dir.Write("h.ts", file).c_str());
        EXPECT_EQ(s.pcrCount, c.count) << c.what;
        EXPECT_EQ(s.pcrBytes, c.bytes) << c.what;
        EXPECT_EQ(s.pcrTicks, c.ticks) << c.what;
        EXPECT_EQ(s.discontinuities, c.discontinuities) << c.what;
        EXPECT_EQ(s.AverageBitrate(), c.ticks ? uint32_t(c.bytes * 216'000'000 / c.ticks) : 0u) << c.what;
    }
}

TEST_F(StreamAnalysis, SummaryFindsThePacketsAgainAfterDamage) {
    TsGeneratorOptions o{.bitrate = 2'000'000};
    const Bytes clean = Generate(o, TsGenerator::PacketsForDuration(o.bitrate, 1000, 188));
    const auto pcrs = Visible(clean, 188, false);
    // 77 stray bytes inside a packet in the middle, and a torn packet at the end.
    const size_t cut = pcrs[pcrs.size() / 2].sync + 50;
    Bytes damaged(clean.begin(), clean.begin() + cut);
    Append(damaged, filefeedtest::Pattern(77));
    // The tail without its last 100 bytes (an erase: g++ 12 misreads a shrinking resize).
    damaged.insert(damaged.end(), clean.begin() + cut, clean.end() - 100);
    const StreamFileSummary s = SummariseStreamFile(dir.Write("d.ts", damaged).c_str());
    const bool lastTorn = pcrs.back().sync + 100 > clean.size() - 188;
    EXPECT_EQ(s.pcrCount, pcrs.size() - (lastTorn ? 1 : 0));
    EXPECT_EQ(s.discontinuities, 0u);
    EXPECT_NEAR(s.AverageBitrate(), o.bitrate, o.bitrate * 0.002);
}
