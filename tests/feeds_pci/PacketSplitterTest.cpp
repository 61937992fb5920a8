#include "feeds/pci/PacketSplitter.h"

#include <gtest/gtest.h>

#include "tests/feeds_pci/PciTestSupport.h"

namespace {

struct Collected {
    std::vector<uint8_t> bytes;
    static void Take(void* self, const uint8_t* first, size_t count, size_t stride) {
        auto& out = static_cast<Collected*>(self)->bytes;
        for (size_t k = 0; k < count; ++k) out.insert(out.end(), first + k * stride, first + k * stride + 188);
    }
};

std::vector<uint8_t> Split(const std::vector<std::vector<uint8_t>>& reads, size_t packetSize = 188) {
    CPacketSplitter splitter;
    Collected out;
    splitter.SetHandler(&out, &Collected::Take);
    for (const auto& read : reads) splitter.Run(read.data(), read.size(), packetSize);
    return out.bytes;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t to) {
    return {v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(std::min(to, v.size()))};
}

}  // namespace

TEST(PacketSplitter, ReadsCutAnywhereGiveTheWholePacketsAfterTheFirstSync) {
    const std::vector<uint8_t> stream = NumberedPackets(0, 12);
    struct Case {
        const char* what;
        std::vector<size_t> cuts;  // read boundaries in the stream
        size_t start;              // first byte handed to the splitter
        size_t firstPacket;        // expected first packet out
        size_t packets;            // expected count
    };
    const Case cases[] = {
        {"aligned in one read", {}, 0, 0, 12},
        {"mid-packet start", {}, 100, 1, 11},
        {"packet spanning two reads", {300}, 0, 0, 12},
        {"packet spanning three reads", {200, 250, 300}, 0, 0, 12},
        {"single bytes round a boundary", {187, 188, 189, 190}, 0, 0, 12},
        {"start one byte before a sync", {}, 187, 1, 11},
        {"cut in the last packet", {2200}, 50, 1, 10},  // the rest of packet 11 never comes
        {"reads of 0 bytes between", {376, 376, 376, 500}, 0, 0, 12},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<uint8_t>> reads;
        size_t at = c.start;
        for (size_t cut : c.cuts) {
            reads.push_back(Slice(stream, at, cut));
            at = std::max(at, cut);
        }
        const size_t end = std::string_view(c.what) == "cut in the last packet" ? 2200 + 40 : stream.size();
        reads.push_back(Slice(stream, at, end));
        const std::vector<uint8_t> out = Split(reads);
        EXPECT_EQ(out, Slice(stream, c.firstPacket * 188, (c.firstPacket + c.packets) * 188)) << c.what;
    }
}

TEST(PacketSplitter, BytesWithoutSyncGiveNothingAndAHuntedPacketIsTakenOnItsSyncAlone) {
    EXPECT_TRUE(Split({std::vector<uint8_t>(5000, 0x00)}).empty());
    EXPECT_TRUE(Split({{}, {}}).empty());

    // A lone 0x47 in junk starts a packet of whatever follows; the packets after it
    // are found again by hunting.
    std::vector<uint8_t> junk(50, 0x11);
    junk[10] = 0x47;
    const std::vector<uint8_t> good = NumberedPackets(7, 3);
    std::vector<uint8_t> input = junk;
    input.insert(input.end(), good.begin(), good.end());
    const std::vector<uint8_t> out = Split({input});
    ASSERT_EQ(out.size(), 3 * 188u);
    EXPECT_EQ(Slice(out, 0, 40), Slice(input, 10, 50));
    EXPECT_EQ(PacketNumber(&out[188]), 8u);
    EXPECT_EQ(PacketNumber(&out[376]), 9u);
}

TEST(PacketSplitter, LargerPacketsLoseTheirTrailingBytes) {
    for (size_t size : {192u, 204u}) {
        std::vector<uint8_t> input;
        const std::vector<uint8_t> packets = NumberedPackets(0, 4);
        for (int k = 0; k < 4; ++k) {
            input.insert(input.end(), packets.begin() + k * 188, packets.begin() + (k + 1) * 188);
            input.insert(input.end(), size - 188, 0xEE);
        }
        // Cut inside the second packet, so the hunted path skips the trailer too.
        EXPECT_EQ(Split({Slice(input, 0, size + 90), Slice(input, size + 90, input.size())}, size), packets) << size;
    }
}
