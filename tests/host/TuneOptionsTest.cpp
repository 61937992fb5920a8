#include "host/TuneOptions.h"

#include <gtest/gtest.h>

#include "feeds/DiseqcSwitch.h"

namespace {

struct Words {
    int index;
    uint32_t value;
};

}  // namespace

TEST(TuneOptions, FillsTheRecordAsDvbToolsWriteIt) {
    struct Case {
        const char* text;
        int32_t feedType;
        std::vector<Words> words;
        int diseqc;  // -1: none
    };
    const Case cases[] = {
        {"freq=11836,sr=27500,pol=h", kFeedDvbS, {{0, 1}, {1, 11'836'000}, {2, 27'500'000}, {5, 1}, {6, 0}, {7, 0}}, -1},
        // The high band starts above 11,700 MHz, not at it.
        {"freq=11700,sr=22000,pol=v", kFeedDvbS, {{1, 11'700'000}, {5, 0}, {6, 1}}, -1},
        {"freq=11701,sr=22000,pol=V", kFeedDvbS, {{1, 11'701'000}, {5, 1}, {6, 1}}, -1},
        {"frequency=11836.5, symbol_rate=27500000, polarisation=r", kFeedDvbS, {{1, 11'836'500}, {2, 27'500'000}, {6, 1}}, -1},
        {"freq=11836000,sr=27500,pol=l,diseqc=B", kFeedDvbS, {{1, 11'836'000}, {6, 0}}, 1},
        {"freq=10744,src=4", kFeedDvbS, {{1, 10'744'000}, {5, 0}}, 3},
        {"freq=11836,modulation=8psk", kFeedDvbS, {{0, 7}, {7, 2}}, -1},
        {"freq=11836,mod=qpsk", kFeedDvbS2, {{0, 7}, {7, 1}}, -1},
        {"freq=410,sr=6900,modulation=qam64", kFeedDvbC, {{0, 2}, {1, 410'000}, {2, 6'900'000}, {7, 3}}, -1},
        {"freq=346,mod=QAM/256", kFeedDvbC, {{1, 346'000}, {7, 5}}, -1},
        {"freq=346,mod=16qam", kFeedDvbC, {{7, 1}}, -1},
        {"freq=538,bw=8", kFeedDvbT, {{0, 3}, {1, 538'000}, {8, 0}}, -1},
        {"freq=538000000,bandwidth=5MHz", kFeedDvbT, {{1, 538'000}, {8, 3}}, -1},
        {"delsys=dvbt,freq=474,bw=7", kFeedNone, {{0, 3}, {1, 474'000}, {8, 1}}, -1},
        {"delsys=atsc,channel=46", kFeedNone, {{0, 11}, {1, 46}}, -1},
        {"freq=11836,fec=auto", kFeedDvbS, {{1, 11'836'000}}, -1},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto parsed = ParseTuneOptions(c.text, c.feedType, &error);
        ASSERT_TRUE(parsed) << c.text << ": " << error;
        for (const Words& w : c.words) EXPECT_EQ(parsed->record.word[w.index], w.value) << c.text << " word " << w.index;
        EXPECT_EQ(parsed->diseqcInput.has_value(), c.diseqc >= 0) << c.text;
        if (c.diseqc >= 0 && parsed->diseqcInput) {
            EXPECT_EQ(*parsed->diseqcInput, c.diseqc) << c.text;
        }
    }
}

TEST(TuneOptions, RefusesWhatTheRecordCannotCarry) {
    const std::pair<const char*, int32_t> cases[] = {
        {"", kFeedDvbS},
        {"freq", kFeedDvbS},
        {"sr=27500", kFeedDvbS},                    // no frequency
        {"freq=11836,freq=11837", kFeedDvbS},       // twice
        {"freq=11836,frequency=11837", kFeedDvbS},  // twice through an alias
        {"freq=11836,volume=3", kFeedDvbS},
        {"freq=11836,pol=x", kFeedDvbS},
        {"freq=11836,diseqc=E", kFeedDvbS},
        {"freq=11836,diseqc=0", kFeedDvbS},
        {"freq=11836,modulation=qam64", kFeedDvbS},
        {"freq=11836,fec=34", kFeedDvbS},
        {"freq=-5", kFeedDvbS},
        {"freq=abc", kFeedDvbS},
        {"freq=1e30", kFeedDvbS},
        {"freq=538,bw=9", kFeedDvbT},
        {"freq=538,pol=h", kFeedDvbT},
        {"freq=410,bw=8", kFeedDvbC},
        {"freq=410,mod=8psk", kFeedDvbC},
        {"freq=600", kFeedFile},                    // no tuner and no delsys
        {"delsys=dvbx,freq=600", kFeedFile},
        {"delsys=atsc,freq=600", kFeedNone},
        {"delsys=atsc,channel=0", kFeedNone},
        {"delsys=atsc,channel=4.5", kFeedNone},
    };
    for (const auto& [text, type] : cases) {
        std::string error;
        EXPECT_FALSE(ParseTuneOptions(text, type, &error)) << text;
        EXPECT_EQ(error.rfind("--tune: ", 0), 0u) << text << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << text;
    }
}

TEST(TuneOptions, ReadsDiseqcMessagesInTheUsualSpellings) {
    const std::vector<uint8_t> message = {0xE0, 0x10, 0x38, 0xF3};
    for (const char* text : {"E0 10 38 F3", "e0:10:38:f3", "E01038F3", "0xE0,0x10,0x38,0xF3", "e0-10-38-f3"}) {
        std::string error;
        const auto parsed = ParseDiseqcHex(text, &error);
        ASSERT_TRUE(parsed) << text << ": " << error;
        EXPECT_EQ(*parsed, message) << text;
    }
    for (const char* text : {"", "E0 10", "E0 10 38 F3 00 00 00", "E0 1 38", "E0 10 38 G3", "E010 38F"}) {
        std::string error;
        EXPECT_FALSE(ParseDiseqcHex(text, &error)) << text;
        EXPECT_NE(error.find("--diseqc"), std::string::npos) << text;
    }
}

TEST(DiseqcSwitch, CommittedSwitchBitsFollowInputBandAndPolarisation) {
    struct Case {
        uint8_t input;
        bool highBand, vertical;
        uint8_t last;
    };
    const Case cases[] = {{0, false, true, 0xF0}, {0, false, false, 0xF2}, {0, true, true, 0xF1},
                          {1, false, true, 0xF4}, {2, false, true, 0xF8}, {3, true, false, 0xFF}};
    for (const Case& c : cases) {
        const auto m = CommittedSwitchMessage(c.input, c.highBand, c.vertical);
        EXPECT_EQ(m[0], 0xE0);
        EXPECT_EQ(m[1], 0x10);
        EXPECT_EQ(m[2], 0x38);
        EXPECT_EQ(m[3], c.last) << int(c.input) << c.highBand << c.vertical;
    }
}
