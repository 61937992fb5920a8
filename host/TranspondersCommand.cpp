// kestrel transponders: the transponder list as the selection dialog shows it, so a
// list can be checked without a dialog.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "feeds/transponders/TransponderList.h"
#include "feeds/transponders/TransponderSelection.h"
#include "host/Command.h"
#include "host/RunReport.h"

namespace {

// The list's texts are 8-bit (the degree sign is 0xB0); terminals and JSON want UTF-8.
std::string Utf8FromLatin1(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Hex(const uint8_t* bytes, size_t count) {
    std::string out;
    char digits[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        out += digits;
    }
    return out;
}

void PrintJson(const std::vector<TransponderRow>& rows) {
    std::printf("[");
    for (size_t i = 0; i < rows.size(); ++i) {
        const TransponderRow& r = rows[i];
        const uint8_t position[] = {static_cast<uint8_t>(r.entry.orbitalPosition >> 8),
                                    static_cast<uint8_t>(r.entry.orbitalPosition)};
        auto text = [](const std::string& value) { return JsonEscape(Utf8FromLatin1(value)); };
        std::printf("%s\n{\"favourite\":%s,\"orbital_position\":\"%s\",\"position\":\"%s\",\"frequency\":\"%s\","
                    "\"polarisation\":\"%s\",\"symbol_rate\":\"%s\",\"modulation\":\"%s\",\"comment\":\"%s\","
                    "\"descriptor\":\"%s\"}",
                    i ? "," : "", r.favourite ? "true" : "false",
                    Hex(position, 2).c_str(),
                    text(r.position).c_str(), text(r.frequency).c_str(), text(r.polarisation).c_str(),
                    text(r.symbolRate).c_str(), text(r.modulation).c_str(), text(r.comment).c_str(),
                    Hex(r.entry.descriptor.data(), 2 + size_t{r.entry.descriptor[1]}).c_str());
    }
    std::printf("%s]\n", rows.empty() ? "" : "\n");
}

void PrintTable(const std::vector<TransponderRow>& rows) {
    for (const TransponderRow& r : rows) {
        // Padded while the degree sign is still one byte wide.
        char line[512];
        std::snprintf(line, sizeof line, "%s %-7s %9s %-2s %6s %-17s ", r.favourite ? "*" : " ", r.position.c_str(),
                      r.frequency.c_str(), r.polarisation.c_str(), r.symbolRate.c_str(), r.modulation.c_str());
        std::printf("%s\n", Utf8FromLatin1(line + r.comment).c_str());
    }
}

std::optional<uint16_t> ParseSatellitePosition(const std::string& text) {
    if (text == "all" || text == "0") return uint16_t{0};
    // Degrees east with at most one decimal, as the dialog's list names them: 19.2, 19.2E.
    std::string number = text;
    for (const char* suffix : {"\xC2\xB0" "E", "E", "e"}) {
        const std::string s = suffix;
        if (number.size() > s.size() && number.compare(number.size() - s.size(), s.size(), s) == 0) {
            number.resize(number.size() - s.size());
            break;
        }
    }
    unsigned whole = 0;
    unsigned tenth = 0;
    int used = 0;
    if (std::sscanf(number.c_str(), "%3u%n", &whole, &used) != 1 || used == 0) return std::nullopt;
    if (number[0] < '0' || number[0] > '9') return std::nullopt;
    if (static_cast<size_t>(used) < number.size()) {
        if (number.size() != static_cast<size_t>(used) + 2 || number[used] != '.' || number[used + 1] < '0' ||
            number[used + 1] > '9')
            return std::nullopt;
        tenth = static_cast<unsigned>(number[used + 1] - '0');
    }
    // The list writes tenths of a degree east as decimal digits read in hexadecimal.
    const unsigned tenths = whole * 10 + tenth;
    if (tenths >= 3600) return std::nullopt;
    return static_cast<uint16_t>((tenths / 1000) << 12 | (tenths / 100 % 10) << 8 | (tenths / 10 % 10) << 4 |
                                 (tenths % 10));
}

class TranspondersCommand final : public Command {
    void Declare(CLI::App& cmd) override {
        cmd.add_option("--file", file_, "Transponder list (default: TransponderList.txt in the current directory)")
            ->type_name("PATH");
        cmd.add_option("--satellite", satellite_, "Only this orbital position, in degrees east: 19.2, 13.0E; or all")
            ->type_name("POS");
        cmd.add_option("--filter", filter_.text, "Only comments containing TEXT once lower-cased (as typed)")
            ->type_name("TEXT");
        cmd.add_flag("--favourites", filter_.favouritesOnly, "Only the favourites ticked in the selection dialog");
        cmd.add_option("--app", application_, "Application name whose stored favourites are marked")
            ->capture_default_str();
        cmd.add_flag("--json", json_, "One JSON array");
    }
    std::string Check(const CLI::App&) override {
        const std::optional<uint16_t> position = ParseSatellitePosition(satellite_);
        if (!position) return "--satellite wants degrees east such as 19.2 or 19.2E, or all: " + satellite_;
        filter_.satellite = *position;
        return {};
    }
    int Run(const GlobalOptions&) override {
        const std::optional<std::string> text = ReadTransponderFileText(file_.c_str());
        if (!text) return Fail("cannot read the transponder list " + file_ + ": " + std::strerror(errno));
        const std::set<std::string> favourites = TransponderSelection(application_.c_str()).Favourites();
        const std::vector<TransponderRow> rows = SelectTransponderRows(
            *text, filter_, [&](const std::string& key) { return favourites.count(key) > 0; });
        json_ ? PrintJson(rows) : PrintTable(rows);
        return kExitDone;
    }

    std::string file_ = kTransponderListFileName;
    std::string satellite_ = "all";
    std::string application_ = kDefaultApplicationName;
    TransponderFilter filter_;
    bool json_ = false;
};

const bool registered = RegisterCommand({62, "transponders", "The transponder list as the selection dialog shows it",
                                         [] { return std::make_unique<TranspondersCommand>(); }});

}  // namespace
