#include "platform/devices/CardDeclarations.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/devices/PacedCardStream.h"

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// Whole number with an optional k or M factor, at most `limit`.
std::optional<uint64_t> Number(const std::string& text, uint64_t limit) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    double factor = 1;
    const std::string rest = Lower(Trim(end));
    if (rest == "k") factor = 1e3;
    else if (rest == "m") factor = 1e6;
    else if (!rest.empty()) return std::nullopt;
    const double scaled = value * factor;
    if (scaled != static_cast<double>(static_cast<uint64_t>(scaled)) || scaled > static_cast<double>(limit))
        return std::nullopt;
    return static_cast<uint64_t>(scaled);
}

std::optional<bool> YesNo(const std::string& text) {
    const std::string v = Lower(text);
    if (v == "yes" || v == "true" || v == "on" || v == "1") return true;
    if (v == "no" || v == "false" || v == "off" || v == "0") return false;
    return std::nullopt;
}

uint32_t TypeForTuner(uint32_t tuner) {
    switch (tuner) {
        case 3: return 2;
        case 4: case 5: return 3;
        case 12: return 7;
        default: return 1;
    }
}

struct Pending {
    SimulatedCardDeclaration declared;
    bool typeGiven = false;
    std::string file;
    uint32_t rate = 0;
    uint64_t seed = 1;
    bool bad = false;
};

}  // namespace

CardDeclarations ParseCardDeclarations(const std::string& text, const std::string& fileName) {
    CardDeclarations out;
    std::vector<Pending> cards;
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    auto problem = [&](const std::string& what) {
        if (out.problem.empty()) out.problem = fileName + ":" + std::to_string(lineNumber) + ": " + what;
        if (!cards.empty()) cards.back().bad = true;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        std::string line = raw;
        if (const size_t hash = line.find_first_of("#;"); hash != std::string::npos) line.resize(hash);
        line = Trim(line);
        if (line.empty()) continue;
        if (line.front() == '[') {
            const std::string name = line.back() == ']' ? Trim(line.substr(1, line.size() - 2)) : "";
            if (name.empty() || name.find_first_of("\\/ ") != std::string::npos) {
                cards.push_back({});
                problem("a section names a device, e.g. [QUARNOX0]");
                continue;
            }
            Pending card;
            card.declared.name = name;
            card.declared.chunkSeed = std::hash<std::string>{}(name);
            cards.push_back(std::move(card));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            problem("expected KEY = VALUE");
            continue;
        }
        if (cards.empty()) {
            problem("a card's settings follow its [NAME] line");
            continue;
        }
        const std::string key = Lower(Trim(line.substr(0, eq)));
        const std::string value = Trim(line.substr(eq + 1));
        Pending& card = cards.back();
        SimulatedCardDeclaration& declared = card.declared;
        auto number = [&](uint64_t limit) { return Number(value, limit); };
        if (key == "tuner") {
            if (auto n = number(255)) declared.tunerType = static_cast<uint32_t>(*n);
            else problem("tuner takes a tuner type number");
        } else if (key == "type") {
            static const std::pair<const char*, uint32_t> names[] = {
                {"dvbs", 1}, {"dvb-s", 1}, {"dvbc", 2}, {"dvb-c", 2}, {"dvbt", 3}, {"dvb-t", 3}, {"dvbs2", 7}, {"dvb-s2", 7}};
            bool known = false;
            for (const auto& [n, code] : names)
                if (Lower(value) == n) {
                    declared.feedType = code;
                    known = true;
                }
            if (!known) {
                if (auto n = number(11)) {
                    declared.feedType = static_cast<uint32_t>(*n);
                    known = true;
                }
            }
            if (known) card.typeGiven = true;
            else problem("type takes dvbs, dvbc, dvbt, dvbs2 or a feed type number");
        } else if (key == "rate" || key == "bitrate") {  // tuners.conf says "bitrate"
            if (auto n = number(1'000'000'000); n && *n > 0) card.rate = static_cast<uint32_t>(*n);
            else problem("rate takes bit/s, e.g. 8000000 or 8M");
        } else if (key == "stream" || key == "file") {
            card.file = value;
        } else if (key == "seed") {
            if (auto n = number(UINT64_MAX)) card.seed = *n;
            else problem("seed takes a number");
        } else if (key == "lock-delay") {
            if (auto n = number(600'000)) declared.lockDelayMs = static_cast<uint32_t>(*n);
            else problem("lock-delay takes milliseconds");
        } else if (key == "signal") {
            if (!value.empty() && value.back() == '%') {
                if (auto n = Number(Trim(value.substr(0, value.size() - 1)), 100))
                    declared.signal = static_cast<uint16_t>(*n * 65535 / 100);
                else problem("signal takes 0 to 65535 or 0% to 100%");
            } else if (auto n = number(65535)) {
                declared.signal = static_cast<uint16_t>(*n);
            } else {
                problem("signal takes 0 to 65535 or 0% to 100%");
            }
        } else if (key == "reception") {
            if (auto n = number(UINT32_MAX)) declared.reception = static_cast<uint32_t>(*n);
            else problem("reception takes a number");
        } else if (key == "driver") {
            declared.driverVersion = value;
        } else if (key == "offset") {
            if (auto n = number(1'000'000)) declared.startOffset = static_cast<uint32_t>(*n);
            else problem("offset takes a byte count");
        } else if (key == "vanish-after") {
            if (auto n = number(86'400)) declared.vanishAfterSeconds = static_cast<uint32_t>(*n);
            else problem("vanish-after takes seconds");
        } else if (key == "extension" || key == "never-lock" || key == "empty-reads" || key == "no-sync") {
            const auto flag = YesNo(value);
            if (!flag) {
                problem(key + " takes yes or no");
            } else if (key == "extension") {
                declared.extension = *flag;
            } else if (*flag) {
                declared.faults |= key == "never-lock"    ? SimulatedCard::kNeverLocks
                               : key == "empty-reads" ? SimulatedCard::kEmptyReads
                                                      : SimulatedCard::kNoSync;
            }
        } else {
            problem("unknown key \"" + key + "\"");
        }
    }
    for (Pending& card : cards) {
        if (card.bad) continue;
        if (!card.typeGiven) card.declared.feedType = TypeForTuner(card.declared.tunerType);
        const std::string file = card.file;
        const uint32_t rate = card.rate;
        const uint64_t seed = card.seed;
        card.declared.openStream = [file, rate, seed](std::string* error) {
            return OpenPacedCardStream(file, rate, seed, error);
        };
        out.cards.push_back(std::move(card.declared));
    }
    return out;
}

CardDeclarations ReadCardDeclarations(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    const size_t slash = path.find_last_of('/');
    return ParseCardDeclarations(text.str(), slash == std::string::npos ? path : path.substr(slash + 1));
}
