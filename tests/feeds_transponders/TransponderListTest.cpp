// The transponder file: single lines into rows, then whole texts through the filters.
#include "feeds/transponders/TransponderList.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "tests/platform/RegistryTestSupport.h"

namespace {

struct RowCase {
    const char* line;
    uint16_t position;
    std::vector<const char*> texts;  // position, frequency, polarisation, symbol rate, modulation, comment
};

const std::vector<RowCase> kRows = {
    {"0192,430B0118360001928102750003,Astra 1N", 0x0192,
     {"19.2\xB0" "E", "11836", "H", "27500", "QPSK", "Astra 1N"}},
    {"130,430B0118364001308102750003", 0x0130, {"13.0\xB0" "E", "11836.4", "H", "27500", "QPSK", ""}},
    {"0130,430B011836000130A102750003,a, comment, with commas", 0x0130,
     {"13.0\xB0" "E", "11836", "V", "27500", "QPSK", "a, comment, with commas"}},
    {"0235,430B0119320002354202200003,", 0x0235, {"23.5\xB0" "E", "11932", "CL", "22000", "8PSK", ""}},
    {"0282,430B011934000282E302200003,x", 0x0282, {"28.2\xB0" "E", "11934", "CR", "22000", "16-QAM", "x"}},
    {"0192,430B0118360001928402750003", 0x0192, {"19.2\xB0" "E", "11836", "H", "27500", "S2/QPSK", ""}},
    {"0192,430B0118360001928502750003", 0x0192, {"19.2\xB0" "E", "11836", "H", "27500", "S2/QPSK", ""}},
    {"0192,430B0118360001928602750003", 0x0192, {"19.2\xB0" "E", "11836", "H", "27500", "S2/8PSK", ""}},
    {"0192,430B0118360001928702750003", 0x0192, {"19.2\xB0" "E", "11836", "H", "27500", "S2/16-QAM [error]", ""}},
    {"0192,430B0118360001928102750003ABCD,longer field", 0x0192,
     {"19.2\xB0" "E", "11836", "H", "27500", "QPSK", "longer field"}},
    // Only 25 digits: the last byte is the lone digit's value.
    {"0192,430B01183600019281027500A,short", 0x0192, {"19.2\xB0" "E", "11836", "H", "27500", "QPSK", "short"}},
    // "4G" reads as 4, "G4" as 0.
    {"0192,430B011836000192814GG4500003", 0x0192, {"19.2\xB0" "E", "11836", "H", "40050", "QPSK", ""}},
    // Hexadecimal digits in BCD fields count at face value.
    {"0192,430B00000A1A01928100000A03,odd", 0x0192, {"19.2\xB0" "E", "10.2", "H", "10", "QPSK", "odd"}},
    {"FFFF,430B0118360001928102750003", 0xFFFF, {"1666.5\xB0" "E", "11836", "H", "27500", "QPSK", ""}},
};

TEST(TransponderLine, GivesTheRowTextsAndTheDescriptor) {
    for (const RowCase& c : kRows) {
        const std::optional<TransponderRow> row = ParseTransponderLine(c.line);
        ASSERT_TRUE(row) << c.line;
        EXPECT_EQ(row->entry.orbitalPosition, c.position) << c.line;
        const std::vector<std::string> texts = {row->position,   row->frequency,  row->polarisation,
                                                row->symbolRate, row->modulation, row->comment};
        EXPECT_EQ(texts, std::vector<std::string>(c.texts.begin(), c.texts.end())) << c.line;
    }
    const std::optional<TransponderRow> first = ParseTransponderLine(kRows[0].line);
    const std::vector<uint8_t> expected = {0x43, 0x0B, 0x01, 0x18, 0x36, 0x00, 0x01,
                                           0x92, 0x81, 0x02, 0x75, 0x00, 0x03};
    EXPECT_EQ(std::vector<uint8_t>(first->entry.descriptor.begin(), first->entry.descriptor.begin() + 13), expected);
    EXPECT_EQ(first->FavouriteKey(), "19.2\xB0" "E11836H");
    EXPECT_EQ(ParseTransponderLine("0192,430B01183600019281027500A")->entry.descriptor[12], 0x0A);
}

TEST(TransponderLine, SkipsMalformedLines) {
    for (const char* line : {
             "; a comment",
             "# 0192,430B0118360001928102750003",
             " 0192,430B0118360001928102750003",
             "0000,430B0118360001928102750003",
             "0192",
             "0192 430B0118360001928102750003",
             "0192,430B01183600019281027500",         // 24 digits
             "0192,430B01183600019281,02750003",      // the second comma ends the field early
             "0192,43050118360001928102750003",       // length byte below 11
             "10192,430B0118360001928102750003",      // position beyond 16 bits
             "FFFFFFFFFFFFFFFFFFFF0192,430B0118360001928102750003",
         })
        EXPECT_FALSE(ParseTransponderLine(line)) << line;
}

TEST(TransponderLine, KeepsALongerDescriptorAndLeavesItsUnreadBytesZero) {
    const std::optional<TransponderRow> row = ParseTransponderLine("0192,43FF0118360001928102750003FFFF");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->entry.descriptor[1], 0xFF);
    for (size_t i = 13; i < kDescriptorCapacity; ++i) ASSERT_EQ(row->entry.descriptor[i], 0) << i;
}

constexpr const char* kList =
    "; Astra, Hotbird and friends\r\n"
    "0192,430B0118360001928102750003,Astra 1N\r\n"
    "\r\n"
    "0130,430B0110470001308102750003,HOTBIRD 13B\n"
    "0192,430B0119530001928302750003,Astra 1L with ASTRA in capitals\r"
    "130,430B011766000130A102750003,Eutelsat 13C\n"
    "0282,430B011222500282E302200003,Astra 2E\n"
    "0192,430B0118360001928102200003,same key as the first\n";

std::vector<std::string> Frequencies(const std::vector<TransponderRow>& rows) {
    std::vector<std::string> out;
    for (const TransponderRow& row : rows) out.push_back(row.position + " " + row.frequency + row.polarisation);
    return out;
}

TEST(TransponderFile, FiltersBySatelliteCommentAndFavourites) {
    struct FilterCase {
        TransponderFilter filter;
        std::vector<std::string> shown;
    };
    const std::string k192 = "19.2\xB0" "E ";
    const std::string k130 = "13.0\xB0" "E ";
    const std::set<std::string> favourites = {"19.2\xB0" "E11836H", "13.0\xB0" "E11766V"};
    const std::vector<FilterCase> cases = {
        {{}, {k192 + "11836H", k130 + "11047H", k192 + "11953H", k130 + "11766V", "28.2\xB0" "E 11222.5CR",
              k192 + "11836H"}},
        {{0x130, "", false}, {k130 + "11047H", k130 + "11766V"}},
        {{0x192, "", false}, {k192 + "11836H", k192 + "11953H", k192 + "11836H"}},
        {{0x235, "", false}, {}},
        {{0, "astra", false}, {k192 + "11836H", k192 + "11953H", "28.2\xB0" "E 11222.5CR"}},
        {{0, "hotbird", false}, {k130 + "11047H"}},
        {{0, "Astra", false}, {}},
        {{0, "", true}, {k192 + "11836H", k130 + "11766V", k192 + "11836H"}},
        {{0x130, "eutelsat", true}, {k130 + "11766V"}},
        {{0x192, "astra", true}, {k192 + "11836H"}},
    };
    for (const FilterCase& c : cases) {
        const auto rows = SelectTransponderRows(kList, c.filter, [&](const std::string& key) {
            return favourites.count(key) > 0;
        });
        EXPECT_EQ(Frequencies(rows), c.shown) << c.filter.satellite << " '" << c.filter.text << "' "
                                              << c.filter.favouritesOnly;
        for (const TransponderRow& row : rows) EXPECT_EQ(row.favourite, favourites.count(row.FavouriteKey()) > 0);
    }
}

TEST(TransponderFile, MatchesTheFilterBeyondTheFirst259CommentCharacters) {
    const std::string line = "0192,430B0118360001928102750003," + std::string(300, 'x') + "needle\n";
    EXPECT_EQ(SelectTransponderRows(line, {0, "needle", false}, nullptr).size(), 1u);
}

TEST(TransponderFile, ReadsTheTextUpToItsFirstNulAndNothingOfAMissingFile) {
    ScopedRegistryHome dir;
    dir.Write("list.txt", std::string("0192,430B0118360001928102750003,one\n") + '\0' +
                              "0130,430B0110470001308102750003,hidden\n");
    const std::optional<std::string> text = ReadTransponderFileText(dir.File("list.txt").c_str());
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "0192,430B0118360001928102750003,one\n");
    EXPECT_FALSE(ReadTransponderFileText(dir.File("absent.txt").c_str()));
    EXPECT_FALSE(ReadTransponderFileText(dir.Path().c_str())) << "a directory is not a list";
}

}  // namespace
