#include "tools/tsgen/BitrateText.h"

#include <gtest/gtest.h>

TEST(ParseBitrate, ReadsNumbersWithMultipliersExactly) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"8000000", 8'000'000},   {"8M", 8'000'000},        {"38.5M", 38'500'000}, {"500k", 500'000},
        {"500K", 500'000},        {"1.2G", 1'200'000'000},  {".5M", 500'000},      {"4.014705M", 4'014'705},
        {"0.0015k", 2},           {"0.0014k", 1},           {"1.", 1},             {"4294967295", 4'294'967'295u},
        {"4.294967295G", 4'294'967'295u}, {"007", 7},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_EQ(ParseBitrate(text, &error), std::optional<uint32_t>(expected)) << text << ": " << error;
    }
}

TEST(ParseBitrate, RefusesWhatIsNoPositiveRateWithOneLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "'' is not a bitrate (write bits per second: 8000000, 8M, 38.5M or 500k)"},
        {"abc", "'abc' is not a bitrate (write bits per second: 8000000, 8M, 38.5M or 500k)"},
        {"-5", "'-5' is not a bitrate (write bits per second: 8000000, 8M, 38.5M or 500k)"},
        {"+5", nullptr}, {"nan", nullptr}, {"inf", nullptr}, {"1e6", nullptr}, {"8m", nullptr},
        {"8 M", nullptr}, {"8MM", nullptr}, {"M", nullptr}, {".", nullptr}, {"1.2.3", nullptr},
        {"0x10", nullptr}, {"8Mbit", nullptr},
        {"0", "'0' is no bitrate: it must be at least 1 bit/s"},
        {"0.0004k", "'0.0004k' is no bitrate: it must be at least 1 bit/s"},
        {"4294967296", "'4294967296' is above 4294967295 bit/s"},
        {"4.3G", "'4.3G' is above 4294967295 bit/s"},
        {"99999999999999999999999999", "'99999999999999999999999999' is above 4294967295 bit/s"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_EQ(ParseBitrate(text, &error), std::nullopt) << text;
        if (expected) {
            EXPECT_EQ(error, expected);
        }
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_FALSE(error.empty()) << text;
    }
}
