#include "feeds/file/StreamAnalysis.h"
#include "tools/tsgen/TsGenerator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t Skip = 5'242'880;
constexpr size_t Window = 5'242'880;
using Bytes = std::vector<uint8_t>;

Bytes Generate(const TsGeneratorOptions& o, size_t packets) {
    TsGenerator g(o);
    Bytes out(packets * o.packetSize);
    g.Generate(out.data(), packets);
    return out;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

struct PcrPacket {
    size_t index;
    size_t sync;  // offset of the sync byte in the file
    uint16_t pid;
    uint64_t pcr;
};

// Packet-aligned listing, independent of the byte-wise search under test.
std::vector<PcrPacket> ListPcrs(const Bytes& file, unsigned size) {
    std::vector<PcrPacket> list;
    const size_t prefix = size == 192 ? 4 : 0;
    for (size_t k = 0; (k + 1) * size <= file.size(); ++k) {
        const uint8_t* ts = file.data() + k * size + prefix;
        if (ts[0] != 0x47 || (ts[1] & 0x80) || !(ts[3] & 0x20) || ts[4] == 0 || !(ts[5] & 0x10)) continue;
        const uint64_t base = uint64_t{ts[6]} << 25 | uint64_t{ts[7]} << 17 | uint64_t{ts[8]} << 9 |
                              uint64_t{ts[9]} << 1 | ts[10] >> 7;
        list.push_back({k, k * size + prefix, static_cast<uint16_t>((ts[1] & 0x1F) << 8 | ts[2]),
                        base * 300 + ((ts[10] & 1u) << 8 | ts[11])});
    }
    return list;
}

// The PCR packets that the measurement can see: inside the window, with a sync byte after them.
std::vector<PcrPacket> Visible(const Bytes& file, unsigned size) {
    std::vector<PcrPacket> out;
    if (file.size() <= Skip) return out;
    const size_t n = std::min(file.size() - Skip, Window);
    for (const auto& p : ListPcrs(file, size))
        if (p.sync >= Skip && p.sync - Skip + size + 6 < n) out.push_back(p);
    return out;
}

uint32_t Expected(const Bytes& file, unsigned size) {
    const auto seen = Visible(file, size);
    if (seen.empty()) return 0;
    for (size_t j = 1; j < seen.size(); ++j) {
        if (seen[j].pid != seen[0].pid) continue;
        const uint64_t delta = seen[j].pcr - seen[0].pcr;
        if (delta == 0) return 0;
        return static_cast<uint32_t>((seen[j].sync - seen[0].sync) * 216'000'000ull / delta);
    }
    return 0;
}

size_t PacketsFor(const TsGeneratorOptions& o, size_t bytes) { return bytes / o.packetSize + 1; }

class StreamAnalysis : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/stream-analysis-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::u16string Write(const std::string& name, const Bytes& data) {
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
        return Wide(dir_ / name);
    }
    static std::u16string Wide(const fs::path& p) { return p.u16string(); }
    uint32_t Measure(const Bytes& data) { return MeasureFileBitrate(Write("s.ts", data).c_str()); }

    fs::path dir_;
};

// A 188-byte packet carrying a PCR given as its six raw bytes.
Bytes RawPcrPacket(uint16_t pid, const uint8_t (&pcr)[6], uint8_t headerFlags = 0) {
    Bytes ts(188, 0xFF);
    ts[0] = 0x47;
    ts[1] = static_cast<uint8_t>(headerFlags | pid >> 8);
    ts[2] = static_cast<uint8_t>(pid);
    ts[3] = 0x30;
    ts[4] = 7;
    ts[5] = 0x10;
    std::copy(pcr, pcr + 6, ts.begin() + 6);
    return ts;
}

Bytes PcrPacket188(uint16_t pid, uint64_t pcr, uint8_t headerFlags = 0) {
    const uint64_t base = pcr / 300, ext = pcr % 300;
    const uint8_t raw[6] = {uint8_t(base >> 25), uint8_t(base >> 17), uint8_t(base >> 9), uint8_t(base >> 1),
                            uint8_t((base & 1) << 7 | 0x7E | ext >> 8), uint8_t(ext)};
    return RawPcrPacket(pid, raw, headerFlags);
}

Bytes NullPackets(size_t count) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        Bytes ts(188, 0xFF);
        ts[0] = 0x47, ts[1] = 0x1F, ts[2] = 0xFF, ts[3] = 0x10;
        Append(out, ts);
    }
    return out;
}

}  // namespace

// ---- packet size ----------------------------------------------------------------------

TEST(DetectPacketSize, RecognisesEachLayoutFromAnyStartingByte) {
    for (unsigned size : {188u, 192u, 204u}) {
        TsGeneratorOptions o;
        o.packetSize = size;
        const Bytes data = Generate(o, 200);
        for (size_t start : {size_t{0}, size_t{1}, size_t{97}, size_t{5 * size + 3}})
            EXPECT_EQ(DetectPacketSize(data.data() + start, 10'240), size) << size << " from " << start;
    }
}

TEST(DetectPacketSize, WithoutClearWinnerSays204) {
    Bytes noise(10'240);
    uint32_t x = 12345;
    for (auto& b : noise) {
        x = x * 1664525 + 1013904223;
        b = static_cast<uint8_t>(x >> 24) == 0x47 ? 0 : static_cast<uint8_t>(x >> 24);
    }
    EXPECT_EQ(DetectPacketSize(noise.data(), static_cast<uint32_t>(noise.size())), 204u);
    EXPECT_EQ(DetectPacketSize(nullptr, 0), 204u);
    EXPECT_EQ(DetectPacketSize(nullptr, 100), 204u);

    // One 188 pair and one 192 pair tie.
    Bytes tie(700, 0);
    tie[0] = tie[188] = tie[300] = tie[492] = 0x47;
    EXPECT_EQ(DetectPacketSize(tie.data(), 700), 204u);
    tie[600] = 0x47;  // a second 188 pair (412..600) breaks the tie
    tie[412] = 0x47;
    EXPECT_EQ(DetectPacketSize(tie.data(), 700), 188u);

    // Every byte a sync byte: the smallest step collects the most pairs.
    Bytes all(10'000, 0x47);
    EXPECT_EQ(DetectPacketSize(all.data(), 10'000), 188u);
}

TEST(DetectPacketSize, PairMustLeaveOneByteBeyondIt) {
    Bytes b(190, 0);
    b[0] = b[188] = 0x47;
    EXPECT_EQ(DetectPacketSize(b.data(), 189), 204u);
    EXPECT_EQ(DetectPacketSize(b.data(), 190), 188u);
}

// ---- bitrate from generated streams ---------------------------------------------------

struct RateCase {
    unsigned size;
    uint32_t bitrate;
};

class MeasureGenerated : public StreamAnalysis, public ::testing::WithParamInterface<RateCase> {};

TEST_P(MeasureGenerated, GivesTheStreamBitrate) {
    TsGeneratorOptions o;
    o.packetSize = GetParam().size;
    o.bitrate = GetParam().bitrate;
    o.pcrPid = 0x0777;
    const Bytes file = Generate(o, PacketsFor(o, Skip + 3 * (o.bitrate / 8 / 25)));
    const uint32_t expected = Expected(file, o.packetSize);
    ASSERT_NE(expected, 0u);
    EXPECT_EQ(Measure(file), expected);
    if (uint64_t{o.packetSize} * 216'000'000 % o.bitrate == 0) {
        EXPECT_EQ(expected, o.bitrate);
    } else {
        EXPECT_NEAR(expected, o.bitrate, o.bitrate / 100'000.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, MeasureGenerated,
                         ::testing::Values(RateCase{188, 4'000'000}, RateCase{192, 4'000'000},
                                           RateCase{204, 4'000'000}, RateCase{192, 1'000'000},
                                           RateCase{188, 38'014'704}, RateCase{204, 15'000'000},
                                           RateCase{192, 61'603'920}));

TEST_F(StreamAnalysis, NothingAfterTheFirstFiveMebibytesGivesZero) {
    TsGeneratorOptions o;
    const Bytes full = Generate(o, PacketsFor(o, Skip + 100'000));
    EXPECT_EQ(Measure(Bytes(full.begin(), full.begin() + 1'000'000)), 0u);
    EXPECT_EQ(Measure(Bytes(full.begin(), full.begin() + Skip)), 0u);
    EXPECT_EQ(Measure(Bytes(full.begin(), full.begin() + Skip + 1)), 0u);
    EXPECT_EQ(Measure(Bytes{}), 0u);

    // The second PCR counts only with a sync byte's worth of bytes beyond its packet.
    const auto seen = Visible(full, 188);
    ASSERT_GE(seen.size(), 2u);
    const size_t tight = seen[1].sync + 188 + 6;
    EXPECT_EQ(Measure(Bytes(full.begin(), full.begin() + tight)), 0u);
    EXPECT_EQ(Measure(Bytes(full.begin(), full.begin() + tight + 1)), 4'000'000u);
}

TEST_F(StreamAnalysis, StreamWithoutPcrGivesZero) {
    TsGeneratorOptions o;
    o.pcrIntervalMs = 0;
    EXPECT_EQ(Measure(Generate(o, PacketsFor(o, Skip + Window))), 0u);
}

TEST_F(StreamAnalysis, SecondPcrMustBeOnTheFirstPid) {
    TsGeneratorOptions a;
    const Bytes plain = Generate(a, PacketsFor(a, Skip + 100'000));
    const size_t first = Visible(plain, 188).at(0).index;

    // The PCR moves to another PID right after the first one in the window.
    const size_t n1 = first + 10;
    Bytes moved(plain.begin(), plain.begin() + n1 * 188);
    TsGeneratorOptions b = a;
    b.pcrPid = 0x0200;
    b.startPcr = TsGenerator::PcrOfPacket(a, n1);
    Append(moved, Generate(b, 1000));
    EXPECT_EQ(Visible(moved, 188).at(1).pid, 0x0200);
    EXPECT_EQ(Measure(moved), 0u);

    // ... and comes back: the other PID's PCRs, deliberately off, are passed over.
    const size_t n2 = 400;
    b.startPcr = 12'345;
    Bytes back(plain.begin(), plain.begin() + n1 * 188);
    Append(back, Generate(b, n2));
    TsGeneratorOptions c = a;
    c.startPcr = TsGenerator::PcrOfPacket(a, n1 + n2);
    Append(back, Generate(c, 500));
    EXPECT_EQ(Measure(back), 4'000'000u);
    EXPECT_EQ(Expected(back, 188), 4'000'000u);
}

TEST_F(StreamAnalysis, PcrWrapBetweenTheTwoPcrsGivesZero) {
    TsGeneratorOptions o;
    const size_t packets = PacketsFor(o, Skip + 100'000);
    const size_t first = Visible(Generate(o, packets), 188).at(0).index;

    o.startPcr = TsGenerator::PcrWrap - TsGenerator::PcrOfPacket(o, first) - 1000;
    const Bytes wrapping = Generate(o, packets);
    const auto seen = Visible(wrapping, 188);
    ASSERT_EQ(seen[0].pcr, TsGenerator::PcrWrap - 1000);
    ASSERT_LT(seen[1].pcr, seen[0].pcr);
    EXPECT_EQ(Measure(wrapping), 0u);

    // A wrap early in the file is of no concern.
    o.startPcr = TsGenerator::PcrWrap - 27'000'000;
    EXPECT_EQ(Measure(Generate(o, packets)), 4'000'000u);
}

// ---- bitrate from hand-made packets ---------------------------------------------------

TEST_F(StreamAnalysis, FollowsTheArithmeticOfTheFirstPcrPair) {
    auto file = [](std::initializer_list<Bytes> parts, size_t misalign = 0) {
        Bytes f(Skip + misalign, 0);
        for (const auto& p : parts) Append(f, p);
        Append(f, NullPackets(3));
        return f;
    };
    // 10 packets apart, 12,345 ticks apart.
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 5000), NullPackets(9), PcrPacket188(0x100, 17'345)})),
              uint32_t(1880ull * 216'000'000 / 12'345));
    // The same from an odd starting byte; a packet with the transport error flag is no PCR.
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 999'999, 0x80), PcrPacket188(0x100, 5000), NullPackets(9),
                            PcrPacket188(0x100, 17'345)},
                           7)),
              uint32_t(1880ull * 216'000'000 / 12'345));
    // Another PID in between is passed over; unit start and priority bits do not matter.
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 5000), PcrPacket188(0x101, 6000), NullPackets(8),
                            PcrPacket188(0x100, 17'345, 0x60)})),
              uint32_t(1880ull * 216'000'000 / 12'345));
    // Equal PCRs give 0; a one-tick step overflows 32 bits and is cut.
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 5000), NullPackets(9), PcrPacket188(0x100, 5000)})), 0u);
    EXPECT_EQ(Measure(file({PcrPacket188(0x100, 5000), NullPackets(9), PcrPacket188(0x100, 5001)})),
              uint32_t(1880ull * 216'000'000));
    // The extension is added to base x 300 as it stands, even out of its range: 300 + 0 - 300 ... = 0.
    const uint8_t ext300[6] = {0x00, 0x00, 0x00, 0x00, 0x7F, 0x2C}, nextBase[6] = {0x00, 0x00, 0x00, 0x00, 0xFE, 0x00};
    EXPECT_EQ(Measure(file({RawPcrPacket(0x100, ext300), NullPackets(9), RawPcrPacket(0x100, nextBase)})), 0u);
    // Adaptation field without the PCR flag is not a PCR packet.
    Bytes noFlag = PcrPacket188(0x100, 1);
    noFlag[5] = 0x00;
    EXPECT_EQ(Measure(file({noFlag, PcrPacket188(0x100, 5000), NullPackets(9), PcrPacket188(0x100, 17'345)})),
              uint32_t(1880ull * 216'000'000 / 12'345));
}

// ---- file names -----------------------------------------------------------------------

TEST_F(StreamAnalysis, UnreadableNamesGiveZeroWithoutWaiting) {
    EXPECT_EQ(MeasureFileBitrate(nullptr), 0u);
    EXPECT_EQ(MeasureFileBitrate(u""), 0u);
    EXPECT_EQ(MeasureFileBitrate(Wide(dir_ / "missing.ts").c_str()), 0u);
    EXPECT_EQ(MeasureFileBitrate(Wide(dir_).c_str()), 0u);
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(MeasureFileBitrate(Wide(dir_ / "fifo").c_str()), 0u);
    const char16_t lone[] = {u'/', 0xD800, u'x', 0};
    EXPECT_EQ(MeasureFileBitrate(lone), 0u);

    TsGeneratorOptions o;
    const std::u16string locked = Write("locked.ts", Generate(o, PacketsFor(o, Skip + 100'000)));
    EXPECT_EQ(MeasureFileBitrate(locked.c_str()), 4'000'000u);
    chmod((dir_ / "locked.ts").c_str(), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(MeasureFileBitrate(locked.c_str()), 0u);
    }
}

TEST_F(StreamAnalysis, OpensNamesGivenAsUtf16OrAsWidenedBytes) {
    TsGeneratorOptions o;
    const std::string name = "caf\xC3\xA9 \xE2\x82\xAC.ts";  // "café €.ts" in UTF-8
    const Bytes data = Generate(o, PacketsFor(o, Skip + 100'000));
    std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());

    const std::u16string utf16 = Wide(dir_) + u"/caf\u00E9 \u20AC.ts";
    EXPECT_EQ(MeasureFileBitrate(utf16.c_str()), 4'000'000u);

    std::u16string widened;
    for (unsigned char c : (dir_ / name).string()) widened += static_cast<char16_t>(c);
    EXPECT_EQ(MeasureFileBitrate(widened.c_str()), 4'000'000u);
}
