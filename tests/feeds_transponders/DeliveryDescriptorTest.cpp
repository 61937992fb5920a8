// Delivery-system descriptors into the tuning record: one descriptor per case, the feed
// type it is decoded for, and words 1 to 8 afterwards (U: left as it was).
#include "feeds/DeliveryDescriptor.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr uint32_t U = 0xDEADBEEF;

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

TEST(DeliveryDescriptor, DecodesEachDeliverySystemIntoItsWords) {
    struct Case {
        uint32_t type;
        const char* descriptor;
        std::array<uint32_t, 8> words;  // 1 frequency, 2 symbol rate, 3, 4, 5 high band, 6 polarisation, 7, 8
    };
    const std::vector<Case> cases = {
        {1, "430B0118360001928102750003", {11'836'000, 27'500'000, U, U, 1, 0, 0, U}},
        {7, "430B011700000192A002200003", {11'700'000, 22'000'000, U, U, 1, 1, 0, U}},  // 11700 MHz: high band
        {1, "430B0116999901928502750003", {11'699'990, 27'500'000, U, U, 0, 0, 1, U}},
        {1, "430B012345000130C602750003", {12'345'000, 27'500'000, U, U, 1, 0, 2, U}},  // circular left: 0
        {1, "430B010750000130E702750003", {10'750'000, 27'500'000, U, U, 0, 1, 2, U}},  // circular right: 1
        {1, "430B011836000192810275000F", {11'836'000, 27'500'000, U, U, 1, 0, 0, U}},  // FEC F stays out of the rate
        {1, "430B0000001A01928300000A03", {200, 10'000, U, U, 0, 0, 0, U}},  // BCD digits above 9 at face value
        {2, "440B03460000FFF00300690005", {346'000, 6'900'000, U, U, U, U, 3, U}},
        {9, "440B0346000000000100690005", {346'000, 6'900'000, U, U, U, U, 1, U}},
        {2, "440B0346000000000500000000", {346'000, 0, U, U, U, U, 5, U}},
        {2, "440B0346000000000000000000", {346'000, 0, U, U, U, U, 3, U}},
        {2, "440B0346000000000600000000", {346'000, 0, U, U, U, U, 3, U}},
        {3, "5A0B0334EC406000000000000", {538'000, U, U, U, U, U, U, 3}},
        {8, "5A0B0334EC401F000000000000", {538'000, U, U, U, U, U, U, 0}},
        {3, "5A0B0334EC402000000000000", {538'000, U, U, U, U, U, U, 1}},
        {3, "5A0B0334EC404000000000000", {538'000, U, U, U, U, U, U, 2}},
        {3, "5A0B0334EC408000000000000", {538'000, U, U, U, U, U, U, 0}},
        {3, "5A0B000000C7000000000000", {1, U, U, U, U, U, U, 0}},            // truncated to whole kHz
        {3, "5A0BFFFFFF6A000000000000", {0xFFFFFFFF, U, U, U, U, U, U, 0}},   // -150: toward zero
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> descriptor = FromHex(c.descriptor);
        descriptor.resize(kDeliveryDescriptorSize);
        TuningParameters record;
        for (uint32_t& w : record.word) w = U;
        record.word[0] = c.type;
        ASSERT_TRUE(DecodeDeliveryDescriptor(descriptor.data(), record)) << c.descriptor;
        std::array<uint32_t, 8> words;
        std::copy(record.word + 1, record.word + 9, words.begin());
        EXPECT_EQ(words, c.words) << c.descriptor;
        for (int i = 9; i < 15; ++i) EXPECT_EQ(record.word[i], U) << c.descriptor;
    }
}

TEST(DeliveryDescriptor, RefusesATagThatDoesNotSuitTheFeedTypeAndLeavesTheRecord) {
    const std::vector<std::pair<uint32_t, uint8_t>> refused = {{1, 0x44}, {7, 0x5A}, {2, 0x43}, {9, 0x5A}, {3, 0x43},
                                                               {8, 0x44}, {0, 0x43}, {4, 0x43}, {5, 0x44}, {6, 0x5A},
                                                               {10, 0x43}, {11, 0x43}, {1, 0x00}};
    for (const auto& [type, tag] : refused) {
        std::vector<uint8_t> descriptor = FromHex("430B0118360001928102750003");
        descriptor[0] = tag;
        TuningParameters record{};
        record.word[0] = type;
        EXPECT_FALSE(DecodeDeliveryDescriptor(descriptor.data(), record)) << type << "/" << int{tag};
        EXPECT_EQ(record.word[1] | record.word[2] | record.word[7], 0u) << type << "/" << int{tag};
    }
    TuningParameters record{};
    record.word[0] = 1;
    EXPECT_FALSE(DecodeDeliveryDescriptor(nullptr, record));
}

}  // namespace
