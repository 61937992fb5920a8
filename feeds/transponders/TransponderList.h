#pragma once
// The shared satellite transponder file: one transponder per line, "position,
// descriptor,comment", read into the rows the selection dialog shows.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Looked up by this relative name, so in the current directory.
constexpr const char* kTransponderListFileName = "TransponderList.txt";

// Room for any descriptor: tag, length byte and up to 255 payload bytes.
constexpr size_t kDescriptorCapacity = 257;

struct TransponderEntry {
    uint16_t orbitalPosition = 0;  // hexadecimal digits that read as tenths of a degree east
    // The 13 bytes of the line; the rest stays zero.
    std::array<uint8_t, kDescriptorCapacity> descriptor{};
};

// One table row: its entry and the texts of its columns (8-bit; the degree sign is 0xB0).
struct TransponderRow {
    TransponderEntry entry;
    std::string position;
    std::string frequency;
    std::string polarisation;
    std::string symbolRate;
    std::string modulation;
    std::string comment;
    bool favourite = false;

    std::string FavouriteKey() const { return FavouriteKeyOf(position, frequency, polarisation); }
    static std::string FavouriteKeyOf(std::string_view position, std::string_view frequency,
                                      std::string_view polarisation) {
        return std::string(position).append(frequency).append(polarisation);
    }
};

// What the dialog lets a person narrow the list by.
struct TransponderFilter {
    uint16_t satellite = 0;  // orbital position whose lines alone are shown; 0: all
    std::string text;        // must occur in the lower-cased comment; compared as typed
    bool favouritesOnly = false;
};

// One line without its end; nothing for a line that is skipped (position 0 or not
// hexadecimal, a position beyond 16 bits, no comma, a descriptor field shorter than
// 25 characters, or a length byte below 11).
std::optional<TransponderRow> ParseTransponderLine(std::string_view line);

// The file's text up to its first NUL byte; nothing when it cannot be opened or read.
std::optional<std::string> ReadTransponderFileText(const char* fileName);

// The rows the filter lets through, in file order; isFavourite marks them.
std::vector<TransponderRow> SelectTransponderRows(std::string_view text, const TransponderFilter& filter,
                                                  const std::function<bool(const std::string& key)>& isFavourite);

// ASCII letters only, as the comment filter compares.
std::string LowerCase(std::string_view text);
