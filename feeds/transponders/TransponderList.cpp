#include "feeds/transponders/TransponderList.h"

#include <cstdio>
#include <memory>

#include "feeds/DeliveryDescriptor.h"

namespace {

constexpr size_t kDescriptorDigits = 26;
// Field 2 may end after the first digit of the last byte.
constexpr size_t kShortestDescriptorField = 25;
constexpr uint8_t kSatellitePayloadLength = 11;
// Far beyond any real list; keeps a named device or a runaway file from eating memory.
constexpr size_t kMaxFileBytes = 64u << 20;

constexpr const char* kPolarisations[] = {"H", "V", "CL", "CR"};
constexpr const char* kModulations[] = {"QPSK",    "QPSK",    "8PSK",    "16-QAM",
                                        "S2/QPSK", "S2/QPSK", "S2/8PSK", "S2/16-QAM [error]"};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Leading hexadecimal digits; a value beyond 16 bits gives nothing.
std::optional<uint16_t> ReadPosition(std::string_view field) {
    uint32_t value = 0;
    for (char c : field) {
        const int digit = HexDigit(c);
        if (digit < 0) break;
        value = value * 16 + static_cast<uint32_t>(digit);
        if (value > 0xFFFF) return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

// Two characters as one hexadecimal number that the first non-digit ends ("4G" is 4).
uint8_t ReadHexPair(std::string_view field, size_t at) {
    uint8_t value = 0;
    for (size_t i = at; i < at + 2 && i < field.size(); ++i) {
        const int digit = HexDigit(field[i]);
        if (digit < 0) break;
        value = static_cast<uint8_t>(value * 16 + digit);
    }
    return value;
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::optional<TransponderRow> ParseTransponderLine(std::string_view line) {
    const std::optional<uint16_t> position = ReadPosition(line);
    if (!position || *position == 0) return std::nullopt;
    const size_t comma = line.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    std::string_view field = line.substr(comma + 1);
    std::string_view comment;
    if (const size_t second = field.find(','); second != std::string_view::npos) {
        comment = field.substr(second + 1);
        field = field.substr(0, second);
    }
    if (field.size() < kShortestDescriptorField) return std::nullopt;

    TransponderRow row;
    row.entry.orbitalPosition = *position;
    uint8_t* d = row.entry.descriptor.data();
    for (size_t i = 0; i < kDescriptorDigits / 2; ++i) d[i] = ReadHexPair(field, 2 * i);
    // A shorter descriptor would hand back fewer bytes than the row's texts come from.
    if (d[1] < kSatellitePayloadLength) return std::nullopt;

    const uint8_t positionBytes[] = {static_cast<uint8_t>(*position >> 8), static_cast<uint8_t>(*position)};
    row.position = Format("%.1f\xB0" "E", BcdValue(positionBytes, 2) * 0.1);
    const uint32_t frequency = DescriptorBcdFrequency(d);
    row.frequency = frequency % 100 != 0 ? Format("%.1f", frequency * 0.01) : std::to_string(frequency / 100);
    row.polarisation = kPolarisations[(d[8] >> 5) & 3];
    row.symbolRate = std::to_string(DescriptorBcdSymbolRate(d) / 10);
    row.modulation = kModulations[d[8] & 7];
    row.comment = comment;
    return row;
}

std::optional<std::string> ReadTransponderFileText(const char* fileName) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(fileName ? fileName : kTransponderListFileName, "rb"),
                                                &std::fclose);
    if (!file) return std::nullopt;
    std::string text;
    char chunk[16384];
    while (text.size() < kMaxFileBytes) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        text.append(chunk, got);
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) return std::nullopt;
    if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    if (text.size() > kMaxFileBytes) text.resize(kMaxFileBytes);
    return text;
}

std::vector<TransponderRow> SelectTransponderRows(std::string_view text, const TransponderFilter& filter,
                                                  const std::function<bool(const std::string& key)>& isFavourite) {
    std::vector<TransponderRow> rows;
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty()) continue;
        std::optional<TransponderRow> row = ParseTransponderLine(line);
        if (!row) continue;
        if (filter.satellite != 0 && filter.satellite != row->entry.orbitalPosition) continue;
        row->favourite = isFavourite && isFavourite(row->FavouriteKey());
        if (!row->favourite && filter.favouritesOnly) continue;
        if (!filter.text.empty() && LowerCase(row->comment).find(filter.text) == std::string::npos) continue;
        rows.push_back(std::move(*row));
    }
    return rows;
}
