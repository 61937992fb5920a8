// Delivery-system descriptors into the tuning record: each case is one descriptor, the
// feed type it is decoded for, and the words it must leave.
#include "feeds/DeliveryDescriptor.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kUntouched = 0xDEADBEEF;

struct DecodeCase {
    const char* name;
    uint32_t type;
    Bytes descriptor;
    std::map<int, uint32_t> words;  // the words that change; every other word stays
};

const std::vector<DecodeCase> kDecodeCases = {
    {"satellite 11836 MHz H 27500 QPSK", 1,
     {0x43, 0x0B, 0x01, 0x18, 0x36, 0x00, 0x01, 0x92, 0x81, 0x02, 0x75, 0x00, 0x03},
     {{1, 11'836'000}, {2, 27'500'000}, {5, 1}, {6, 0}, {7, 0}}},
    {"satellite exactly 11700 MHz is high band", 7,
     {0x43, 0x0B, 0x01, 0x17, 0x00, 0x00, 0x01, 0x92, 0xA0, 0x02, 0x20, 0x00, 0x03},
     {{1, 11'700'000}, {2, 22'000'000}, {5, 1}, {6, 1}, {7, 0}}},
    {"satellite just below 11700 MHz is low band", 1,
     {0x43, 0x0B, 0x01, 0x16, 0x99, 0x99, 0x01, 0x92, 0x85, 0x02, 0x75, 0x00, 0x03},
     {{1, 11'699'990}, {2, 27'500'000}, {5, 0}, {6, 0}, {7, 1}}},
    {"circular left counts as horizontal, S2 8PSK", 1,
     {0x43, 0x0B, 0x01, 0x23, 0x45, 0x00, 0x01, 0x30, 0xC6, 0x02, 0x75, 0x00, 0x03},
     {{1, 12'345'000}, {2, 27'500'000}, {5, 1}, {6, 0}, {7, 2}}},
    {"circular right counts as vertical, modulation 7 as 8PSK", 1,
     {0x43, 0x0B, 0x01, 0x07, 0x50, 0x00, 0x01, 0x30, 0xE7, 0x02, 0x75, 0x00, 0x03},
     {{1, 10'750'000}, {2, 27'500'000}, {5, 0}, {6, 1}, {7, 2}}},
    {"a FEC nibble above 9 does not carry into the symbol rate", 1,
     {0x43, 0x0B, 0x01, 0x18, 0x36, 0x00, 0x01, 0x92, 0x81, 0x02, 0x75, 0x00, 0x0F},
     {{1, 11'836'000}, {2, 27'500'000}, {5, 1}, {6, 0}, {7, 0}}},
    {"BCD digits above 9 count at face value", 1,
     {0x43, 0x0B, 0x00, 0x00, 0x00, 0x1A, 0x01, 0x92, 0x83, 0x00, 0x00, 0x0A, 0x03},
     {{1, 200}, {2, 10'000}, {5, 0}, {6, 0}, {7, 0}}},
    {"cable 346 MHz 6900 kS/s 64-QAM", 2,
     {0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0xFF, 0xF0, 0x03, 0x00, 0x69, 0x00, 0x05},
     {{1, 346'000}, {2, 6'900'000}, {7, 3}}},
    {"cable 16-QAM kept", 9, {0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0, 0, 0x01, 0x00, 0x69, 0x00, 0x05},
     {{1, 346'000}, {2, 6'900'000}, {7, 1}}},
    {"cable 32-QAM kept", 2, {0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0, 0, 0x02, 0, 0, 0, 0}, {{1, 346'000}, {2, 0}, {7, 2}}},
    {"cable 128-QAM kept", 2, {0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0, 0, 0x04, 0, 0, 0, 0}, {{1, 346'000}, {2, 0}, {7, 4}}},
    {"cable 256-QAM kept", 2, {0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0, 0, 0x05, 0, 0, 0, 0}, {{1, 346'000}, {2, 0}, {7, 5}}},
    {"cable undefined modulation becomes 64-QAM", 2, {0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0, 0, 0x00, 0, 0, 0, 0},
     {{1, 346'000}, {2, 0}, {7, 3}}},
    {"cable reserved modulation becomes 64-QAM", 2, {0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0, 0, 0x06, 0, 0, 0, 0},
     {{1, 346'000}, {2, 0}, {7, 3}}},
    {"terrestrial 538 MHz, bandwidth 5 MHz", 3, {0x5A, 0x0B, 0x03, 0x34, 0xEC, 0x40, 0x60, 0, 0, 0, 0, 0, 0},
     {{1, 538'000}, {8, 3}}},
    {"terrestrial 8 MHz", 8, {0x5A, 0x0B, 0x03, 0x34, 0xEC, 0x40, 0x1F, 0, 0, 0, 0, 0, 0}, {{1, 538'000}, {8, 0}}},
    {"terrestrial 7 MHz", 3, {0x5A, 0x0B, 0x03, 0x34, 0xEC, 0x40, 0x20, 0, 0, 0, 0, 0, 0}, {{1, 538'000}, {8, 1}}},
    {"terrestrial 6 MHz", 3, {0x5A, 0x0B, 0x03, 0x34, 0xEC, 0x40, 0x40, 0, 0, 0, 0, 0, 0}, {{1, 538'000}, {8, 2}}},
    {"terrestrial reserved bandwidth becomes 8 MHz", 3, {0x5A, 0x0B, 0x03, 0x34, 0xEC, 0x40, 0x80, 0, 0, 0, 0, 0, 0},
     {{1, 538'000}, {8, 0}}},
    {"terrestrial frequency truncates to whole kHz", 3, {0x5A, 0x0B, 0x00, 0x00, 0x00, 0xC7, 0, 0, 0, 0, 0, 0, 0},
     {{1, 1}, {8, 0}}},
    {"terrestrial negative frequency truncates toward zero", 3,
     {0x5A, 0x0B, 0xFF, 0xFF, 0xFF, 0x6A, 0, 0, 0, 0, 0, 0, 0}, {{1, 0xFFFFFFFF}, {8, 0}}},
};

TEST(DeliveryDescriptor, DecodesEachDeliverySystemIntoItsWords) {
    for (const DecodeCase& c : kDecodeCases) {
        TuningParameters record;
        for (uint32_t& w : record.word) w = kUntouched;
        record.word[0] = c.type;
        ASSERT_TRUE(DecodeDeliveryDescriptor(c.descriptor.data(), record)) << c.name;
        for (int i = 1; i < 15; ++i) {
            const auto expected = c.words.find(i);
            EXPECT_EQ(record.word[i], expected == c.words.end() ? kUntouched : expected->second)
                << c.name << ", word " << i;
        }
        EXPECT_EQ(record.word[0], c.type) << c.name;
    }
}

TEST(DeliveryDescriptor, RefusesATagThatDoesNotSuitTheFeedTypeAndLeavesTheRecord) {
    const Bytes satellite = {0x43, 0x0B, 0x01, 0x18, 0x36, 0x00, 0x01, 0x92, 0x81, 0x02, 0x75, 0x00, 0x03};
    const std::vector<std::pair<uint32_t, uint8_t>> refused = {
        {1, 0x44}, {7, 0x5A}, {2, 0x43}, {9, 0x5A}, {3, 0x43}, {8, 0x44}, {0, 0x43},
        {4, 0x43}, {5, 0x43}, {6, 0x43}, {10, 0x43}, {11, 0x43}, {1, 0x00}};
    for (const auto& [type, tag] : refused) {
        Bytes descriptor = satellite;
        descriptor[0] = tag;
        TuningParameters record{};
        record.word[0] = type;
        EXPECT_FALSE(DecodeDeliveryDescriptor(descriptor.data(), record)) << type << "/" << int{tag};
        EXPECT_FALSE(DeliveryTagSuits(type, tag)) << type << "/" << int{tag};
        for (int i = 1; i < 15; ++i) EXPECT_EQ(record.word[i], 0u) << type << "/" << int{tag};
    }
    TuningParameters record{};
    record.word[0] = 1;
    EXPECT_FALSE(DecodeDeliveryDescriptor(nullptr, record));
}

}  // namespace
