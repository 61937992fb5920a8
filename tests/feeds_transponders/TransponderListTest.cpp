// The transponder file: single lines into rows, then whole texts through the filters.
#include "feeds/transponders/TransponderList.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/platform/RegistryTestSupport.h"

namespace {

// Position, frequency, polarisation, symbol rate, modulation and comment, joined by '|'.
std::string Texts(const TransponderRow& r) {
    return r.position + "|" + r.frequency + "|" + r.polarisation + "|" + r.symbolRate + "|" + r.modulation + "|" +
           r.comment;
}

TEST(TransponderLine, GivesTheRowTextsOrSkipsTheLine) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"0192,430B0118360001928102750003,Astra 1N", "19.2\xB0" "E|11836|H|27500|QPSK|Astra 1N"},
        {"130,430B0118364001308102750003", "13.0\xB0" "E|11836.4|H|27500|QPSK|"},
        {"0130,430B011836000130A102750003,a, b, c", "13.0\xB0" "E|11836|V|27500|QPSK|a, b, c"},
        {"0235,430B0119320002354202200003,", "23.5\xB0" "E|11932|CL|22000|8PSK|"},
        {"0282,430B011934000282E302200003,x", "28.2\xB0" "E|11934|CR|22000|16-QAM|x"},
        {"0192,430B0118360001928402750003", "19.2\xB0" "E|11836|H|27500|S2/QPSK|"},
        {"0192,430B0118360001928502750003", "19.2\xB0" "E|11836|H|27500|S2/QPSK|"},
        {"0192,430B0118360001928602750003", "19.2\xB0" "E|11836|H|27500|S2/8PSK|"},
        {"0192,430B0118360001928702750003", "19.2\xB0" "E|11836|H|27500|S2/16-QAM [error]|"},
        {"0192,430B0118360001928102750003ABCD,long", "19.2\xB0" "E|11836|H|27500|QPSK|long"},
        {"0192,430B01183600019281027500A,25 digits", "19.2\xB0" "E|11836|H|27500|QPSK|25 digits"},
        {"0192,430B011836000192814GG4500003", "19.2\xB0" "E|11836|H|40050|QPSK|"},  // "4G" is 4, "G4" 0
        {"0192,430B00000A1A01928100000A03", "19.2\xB0" "E|10.2|H|10|QPSK|"},        // digits above 9
        {"FFFF,430B0118360001928102750003", "1666.5\xB0" "E|11836|H|27500|QPSK|"},
        {"; a comment", nullptr},
        {" 0192,430B0118360001928102750003", nullptr},
        {"0000,430B0118360001928102750003", nullptr},
        {"0192", nullptr},
        {"0192 430B0118360001928102750003", nullptr},
        {"0192,430B01183600019281027500", nullptr},       // 24 digits
        {"0192,430B01183600019281,02750003", nullptr},    // the second comma ends the field early
        {"0192,43050118360001928102750003", nullptr},     // length byte below 11
        {"10192,430B0118360001928102750003", nullptr},    // position beyond 16 bits
    };
    for (const auto& [line, texts] : cases) {
        const std::optional<TransponderRow> row = ParseTransponderLine(line);
        ASSERT_EQ(row.has_value(), texts != nullptr) << line;
        if (row) {
            EXPECT_EQ(Texts(*row), texts) << line;
        }
    }
    const std::optional<TransponderRow> row = ParseTransponderLine("0192,430B01183600019281027500A");
    const std::vector<uint8_t> bytes = {0x43, 0x0B, 0x01, 0x18, 0x36, 0x00, 0x01, 0x92, 0x81, 0x02, 0x75, 0x00, 0x0A};
    EXPECT_EQ(std::vector<uint8_t>(row->entry.descriptor.begin(), row->entry.descriptor.begin() + 13), bytes);
    EXPECT_EQ(row->entry.orbitalPosition, 0x0192);
    EXPECT_EQ(row->FavouriteKey(), "19.2\xB0" "E11836H");
}

TEST(TransponderFile, FiltersBySatelliteCommentAndFavouritesInFileOrder) {
    const std::string list =
        "; Astra, Hotbird and friends\r\n"
        "0192,430B0118360001928102750003,Astra 1N\r\n\r\n"
        "0130,430B0110470001308102750003,HOTBIRD 13B\n"
        "0192,430B0119530001928302750003,Astra 1L" + std::string(300, '.') + "astra\r"
        "130,430B011766000130A102750003,Eutelsat 13C\n"
        "0282,430B011222500282E302200003,Astra 2E\n"
        "0192,430B0118360001928102200003,same key as the first";
    const std::set<std::string> favourites = {"19.2\xB0" "E11836H", "13.0\xB0" "E11766V"};
    const std::vector<std::pair<TransponderFilter, std::string>> cases = {
        {{}, "11836H 11047H 11953H 11766V 11222.5CR 11836H "},
        {{0x130, "", false}, "11047H 11766V "},
        {{0x192, "", false}, "11836H 11953H 11836H "},
        {{0x235, "", false}, ""},
        {{0, "astra", false}, "11836H 11953H 11222.5CR "},  // also beyond the comment's 259th character
        {{0, "hotbird", false}, "11047H "},
        {{0, "Astra", false}, ""},
        {{0, "", true}, "*11836H *11766V *11836H "},
        {{0x192, "astra", true}, "*11836H "},
    };
    for (const auto& [filter, shown] : cases) {
        std::string rows;
        for (const TransponderRow& row : SelectTransponderRows(
                 list, filter, [&](const std::string& key) { return favourites.count(key) > 0; }))
            rows += (row.favourite && filter.favouritesOnly ? "*" : "") + row.frequency + row.polarisation + " ";
        EXPECT_EQ(rows, shown) << filter.satellite << " '" << filter.text << "' " << filter.favouritesOnly;
    }
}

TEST(TransponderFile, ReadsTheTextUpToItsFirstNulAndNothingOfAMissingFile) {
    ScopedRegistryHome dir;
    dir.Write("list.txt", std::string("0192,430B0118360001928102750003,one\n") + '\0' + "0130,hidden\n");
    EXPECT_EQ(ReadTransponderFileText(dir.File("list.txt").c_str()), "0192,430B0118360001928102750003,one\n");
    EXPECT_FALSE(ReadTransponderFileText(dir.File("absent.txt").c_str()));
    EXPECT_FALSE(ReadTransponderFileText(dir.Path().c_str())) << "a directory is not a list";
}

}  // namespace
