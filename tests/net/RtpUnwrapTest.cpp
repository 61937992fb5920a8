#include "net/RtpUnwrap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net/ReceivedData.h"

namespace {

using nettest::Bytes;
using nettest::Rtp;

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The fixed header with the given first byte, then the rest of the header and the body.
Bytes Datagram(uint8_t first, const Bytes& rest, uint8_t second = 33) { return Rtp(7, rest, first, second); }

const Bytes kBody = {0x47, 1, 2, 3};
const Bytes kCsrc2 = {1, 1, 1, 1, 2, 2, 2, 2};
const Bytes kExtension1 = {0xBE, 0xDE, 0, 1, 9, 9, 9, 9};  // profile, one word of length, the word

struct Case {
    const char* what;
    RtpMode mode;
    Bytes datagram;
    RtpVerdict verdict;
    Bytes taken;
};

TEST(RtpUnwrapper, TakesPayloadWholeOrDropsByModeAndHeader) {
    const Bytes ts(188, 0x47);
    const std::vector<Case> cases = {
        {"plain", RtpMode::Rtp, Datagram(0x80, kBody), RtpVerdict::Payload, kBody},
        {"two contributing sources", RtpMode::Rtp, Datagram(0x82, Cat(kCsrc2, kBody)), RtpVerdict::Payload, kBody},
        {"extension", RtpMode::Rtp, Datagram(0x90, Cat(kExtension1, kBody)), RtpVerdict::Payload, kBody},
        {"empty extension", RtpMode::Rtp, Datagram(0x90, Cat({0, 0, 0, 0}, kBody)), RtpVerdict::Payload, kBody},
        {"padding", RtpMode::Rtp, Datagram(0xA0, Cat(kBody, {0, 0, 3})), RtpVerdict::Payload, kBody},
        {"all three", RtpMode::Rtp, Datagram(0xB2, Cat(Cat(kCsrc2, kExtension1), Cat(kBody, {1}))),
         RtpVerdict::Payload, kBody},
        {"marker bit", RtpMode::Auto, Datagram(0x80, kBody, 33 | 0x80), RtpVerdict::Payload, kBody},
        {"any payload type in Rtp mode", RtpMode::Rtp, Datagram(0x80, kBody, 96), RtpVerdict::Payload, kBody},
        {"shortest unwrapped in Auto", RtpMode::Auto, Datagram(0x80, {0x47}), RtpVerdict::Payload, {0x47}},
        // Malformed lengths: never read past the datagram.
        {"sources beyond the end", RtpMode::Rtp, Datagram(0x83, kCsrc2), RtpVerdict::Drop, {}},
        {"extension header cut", RtpMode::Rtp, Datagram(0x90, {0xBE, 0xDE, 0}), RtpVerdict::Drop, {}},
        {"extension longer than the datagram", RtpMode::Rtp, Datagram(0x90, {0xBE, 0xDE, 0, 2, 9, 9, 9, 9}),
         RtpVerdict::Drop, {}},
        {"extension length near 2^16", RtpMode::Rtp, Datagram(0x90, {0xBE, 0xDE, 0xFF, 0xFF, 9}), RtpVerdict::Drop,
         {}},
        {"padding beyond the payload", RtpMode::Rtp, Datagram(0xA0, {1, 2, 9}), RtpVerdict::Drop, {}},
        {"padding count 0", RtpMode::Rtp, Datagram(0xA0, {1, 2, 0}), RtpVerdict::Drop, {}},
        {"padding is all", RtpMode::Rtp, Datagram(0xA0, {0, 0, 3}), RtpVerdict::Drop, {}},
        {"header only", RtpMode::Rtp, Datagram(0x80, {}), RtpVerdict::Drop, {}},
        {"shorter than a header", RtpMode::Rtp, {0x80, 33, 0}, RtpVerdict::Drop, {}},
        {"malformed in Auto", RtpMode::Auto, Datagram(0x83, kCsrc2), RtpVerdict::Drop, {}},
        {"version 1", RtpMode::Rtp, Datagram(0x40, kBody), RtpVerdict::Drop, {}},
        {"plain stream in Rtp mode", RtpMode::Rtp, ts, RtpVerdict::Drop, {}},
        // Auto takes what is not RTP carrying transport stream whole.
        {"plain stream in Auto", RtpMode::Auto, ts, RtpVerdict::Whole, ts},
        {"version 1 in Auto", RtpMode::Auto, Datagram(0x40, kBody), RtpVerdict::Whole, Datagram(0x40, kBody)},
        {"other payload type in Auto", RtpMode::Auto, Datagram(0x80, kBody, 96), RtpVerdict::Whole,
         Datagram(0x80, kBody, 96)},
        {"header only in Auto", RtpMode::Auto, Datagram(0x80, {}), RtpVerdict::Whole, Datagram(0x80, {})},
        {"RTP in Raw", RtpMode::Raw, Datagram(0x80, kBody), RtpVerdict::Whole, Datagram(0x80, kBody)},
        {"empty in Raw", RtpMode::Raw, {}, RtpVerdict::Whole, {}},
    };
    for (const Case& c : cases) {
        RtpUnwrapper unwrapper(c.mode);
        const RtpUnwrapResult result = unwrapper.Unwrap(c.datagram);
        EXPECT_EQ(c.verdict, result.verdict) << c.what;
        EXPECT_EQ(c.taken, Bytes(result.data.begin(), result.data.end())) << c.what;
    }
}

struct SequenceCase {
    const char* what;
    std::vector<int> sequences;
    uint64_t lost;
    std::vector<std::pair<int, int>> mismatches;  // (received, expected)
    size_t delivered;
};

TEST(RtpUnwrapper, CountsLossForwardOnlyAcrossTheWrap) {
    const std::vector<SequenceCase> cases = {
        {"in order", {1, 2, 3}, 0, {}, 3},
        {"jump", {10, 13, 14}, 2, {{13, 11}}, 3},
        {"wrap", {65534, 65535, 0, 1}, 0, {}, 4},
        {"gap across the wrap", {65534, 1}, 2, {{1, 65535}}, 2},
        {"repeat delivered once", {5, 5, 6}, 0, {}, 2},
        {"step back", {20, 15, 16}, 0, {{15, 21}}, 3},
        {"step back across the wrap", {2, 65535, 0}, 0, {{65535, 3}}, 3},
        {"restart then jump", {100, 7, 9}, 1, {{7, 101}, {9, 8}}, 3},
    };
    for (const SequenceCase& c : cases) {
        RtpUnwrapper unwrapper(RtpMode::Rtp);
        std::vector<std::pair<int, int>> mismatches;
        size_t delivered = 0;
        for (int sequence : c.sequences) {
            const RtpUnwrapResult r = unwrapper.Unwrap(Rtp(sequence, {0x47}));
            if (r.expectedSequence >= 0) mismatches.emplace_back(r.sequence, r.expectedSequence);
            delivered += r.verdict == RtpVerdict::Payload;
        }
        EXPECT_EQ(c.lost, unwrapper.Lost()) << c.what;
        EXPECT_EQ(c.mismatches, mismatches) << c.what;
        EXPECT_EQ(c.delivered, delivered) << c.what;
    }
}

TEST(RtpUnwrapper, MalformedLeavesTheSequenceAndResetForgetsIt) {
    RtpUnwrapper unwrapper(RtpMode::Auto);
    unwrapper.Unwrap(Rtp(1, {0x47}));
    EXPECT_EQ(RtpVerdict::Drop, unwrapper.Unwrap(Rtp(9, kCsrc2, 0x83)).verdict);
    EXPECT_EQ(RtpVerdict::Whole, unwrapper.Unwrap(Bytes(188, 0x47)).verdict);
    EXPECT_EQ(-1, unwrapper.Unwrap(Rtp(2, {0x47})).expectedSequence);
    unwrapper.Unwrap(Rtp(5, {0x47}));
    EXPECT_EQ(2u, unwrapper.Lost());

    unwrapper.Reset();
    EXPECT_EQ(0u, unwrapper.Lost());
    const RtpUnwrapResult again = unwrapper.Unwrap(Rtp(5, {0x47}));
    EXPECT_EQ(RtpVerdict::Payload, again.verdict) << "no longer a repeat";
    EXPECT_EQ(-1, again.expectedSequence);
}

}  // namespace
