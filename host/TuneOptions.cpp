#include "host/TuneOptions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <chrono>
#include <map>
#include <thread>

#include "feeds/DiseqcSwitch.h"
#include "filter/TSFeedInterfaces.h"

const char* const kTuneOptionsHelp =
    "freq (MHz), sr (kS/s), pol h|v|l|r, modulation qpsk|8psk|qam16..qam256, "
    "bw 8|7|6|5 (MHz), diseqc A-D (or src 1-4), delsys dvbs|dvbs2|dvbc|dvbt|atsc, channel (ATSC), fec auto";

namespace {

constexpr uint32_t kHighBandFromKHz = 11'700'000;
// What the switch is given to settle after its message before the tune.
constexpr auto kSwitchSettle = std::chrono::milliseconds(50);

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// A non-negative decimal number, whole or with a fraction.
std::optional<double> Number(const std::string& text) {
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value) || value > 4e12) return std::nullopt;
    return value;
}

enum class Family { Satellite, Cable, Terrestrial, Atsc, Other };

Family FamilyOf(int32_t type) {
    switch (type) {
        case kFeedDvbS: case kFeedDvbS2: return Family::Satellite;
        case kFeedDvbC: case kFeedDvbC2: return Family::Cable;
        case kFeedDvbT: case kFeedDvbT2: return Family::Terrestrial;
        case kFeedAtsc: return Family::Atsc;
        default: return Family::Other;
    }
}

// The canonical key of every name a user may give.
const std::map<std::string, std::string, std::less<>>& Aliases() {
    static const std::map<std::string, std::string, std::less<>> aliases = {
        {"delsys", "delsys"},         {"freq", "freq"},           {"frequency", "freq"},
        {"sr", "sr"},                 {"symbolrate", "sr"},       {"symbol_rate", "sr"},
        {"srate", "sr"},              {"pol", "pol"},             {"polarisation", "pol"},
        {"polarization", "pol"},      {"modulation", "modulation"}, {"mod", "modulation"},
        {"bw", "bw"},                 {"bandwidth", "bw"},        {"diseqc", "diseqc"},
        {"src", "diseqc"},            {"input", "diseqc"},        {"fec", "fec"},
        {"channel", "channel"},       {"ch", "channel"},
    };
    return aliases;
}

bool Refuse(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

}  // namespace

std::optional<TuneOptions> ParseTuneOptions(std::string_view text, int32_t feedType, std::string* error) {
    std::map<std::string, std::string> given;  // canonical key -> value, lower case
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view item = Trim(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        if (item.empty()) continue;
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            Refuse(error, "--tune: \"" + std::string(item) + "\" is no KEY=VALUE pair");
            return std::nullopt;
        }
        const std::string key = Lower(Trim(item.substr(0, eq)));
        const std::string value = Lower(Trim(item.substr(eq + 1)));
        const auto alias = Aliases().find(key);
        if (alias == Aliases().end()) {
            Refuse(error, "--tune: unknown key \"" + key + "\" (" + kTuneOptionsHelp + ")");
            return std::nullopt;
        }
        if (!given.emplace(alias->second, value).second) {
            Refuse(error, "--tune: \"" + alias->second + "\" is given twice");
            return std::nullopt;
        }
    }
    if (given.empty()) {
        Refuse(error, "--tune: nothing to tune (" + std::string(kTuneOptionsHelp) + ")");
        return std::nullopt;
    }

    TuneOptions out;
    uint32_t* word = out.record.word;
    int32_t type = feedType;
    if (auto it = given.find("delsys"); it != given.end()) {
        static const std::map<std::string, int32_t, std::less<>> systems = {
            {"dvbs", kFeedDvbS}, {"dvb-s", kFeedDvbS}, {"dvbs2", kFeedDvbS2}, {"dvb-s2", kFeedDvbS2},
            {"dvbc", kFeedDvbC}, {"dvb-c", kFeedDvbC}, {"dvbc2", kFeedDvbC2}, {"dvb-c2", kFeedDvbC2},
            {"dvbt", kFeedDvbT}, {"dvb-t", kFeedDvbT}, {"dvbt2", kFeedDvbT2}, {"dvb-t2", kFeedDvbT2},
            {"atsc", kFeedAtsc}};
        const auto system = systems.find(it->second);
        if (system == systems.end()) {
            Refuse(error, "--tune: delsys \"" + it->second + "\" is none of dvbs, dvbs2, dvbc, dvbc2, dvbt, dvbt2, atsc");
            return std::nullopt;
        }
        type = system->second;
    }
    const Family family = FamilyOf(type);
    if (family == Family::Other) {
        Refuse(error, "--tune: the feed (type " + std::to_string(type) +
                          ") is no tuner; name the delivery system with delsys=");
        return std::nullopt;
    }
    word[0] = static_cast<uint32_t>(type);

    // Keys that only one delivery family has.
    const std::pair<const char*, Family> owned[] = {{"sr", Family::Satellite}, {"pol", Family::Satellite},
                                                    {"diseqc", Family::Satellite}, {"bw", Family::Terrestrial},
                                                    {"channel", Family::Atsc}};
    for (const auto& [key, owner] : owned) {
        const bool cableSymbolRate = std::string_view(key) == "sr" && family == Family::Cable;
        if (given.count(key) && owner != family && !cableSymbolRate) {
            Refuse(error, std::string("--tune: \"") + key + "\" does not apply to this delivery system");
            return std::nullopt;
        }
    }

    if (family == Family::Atsc) {
        if (given.count("freq")) {
            Refuse(error, "--tune: ATSC tunes by channel=N, not by freq");
            return std::nullopt;
        }
        const auto it = given.find("channel");
        const auto channel = it == given.end() ? std::nullopt : Number(it->second);
        if (!channel || *channel != std::floor(*channel) || *channel < 1 || *channel > 158) {
            Refuse(error, "--tune: ATSC needs channel=N, a channel number from 1 to 158");
            return std::nullopt;
        }
        word[1] = static_cast<uint32_t>(*channel);
    } else {
        const auto it = given.find("freq");
        const auto freq = it == given.end() ? std::nullopt : Number(it->second);
        if (!freq || *freq <= 0) {
            Refuse(error, "--tune: freq=MHz is required (e.g. freq=11836 or freq=538)");
            return std::nullopt;
        }
        double kHz = *freq * 1000;            // MHz
        if (*freq >= 100'000'000) kHz = *freq / 1000;  // Hz
        else if (*freq >= 100'000) kHz = *freq;         // kHz
        if (kHz > 4'000'000'000.0) {
            Refuse(error, "--tune: freq " + it->second + " is out of range");
            return std::nullopt;
        }
        word[1] = static_cast<uint32_t>(std::llround(kHz));
    }

    if (auto it = given.find("sr"); it != given.end()) {
        const auto sr = Number(it->second);
        if (!sr || *sr <= 0) {
            Refuse(error, "--tune: sr takes kS/s, e.g. sr=27500");
            return std::nullopt;
        }
        const double perSecond = *sr >= 100'000 ? *sr : *sr * 1000;
        if (perSecond > 4'000'000'000.0) {
            Refuse(error, "--tune: sr " + it->second + " is out of range");
            return std::nullopt;
        }
        word[2] = static_cast<uint32_t>(std::llround(perSecond));
    }

    if (family == Family::Satellite) {
        word[5] = word[1] > kHighBandFromKHz ? 1 : 0;
        if (auto it = given.find("pol"); it != given.end()) {
            const std::string& p = it->second;
            if (p == "h" || p == "l" || p == "horizontal" || p == "left") word[6] = 0;
            else if (p == "v" || p == "r" || p == "vertical" || p == "right") word[6] = 1;
            else {
                Refuse(error, "--tune: pol takes h, v, l or r");
                return std::nullopt;
            }
        }
        if (auto it = given.find("diseqc"); it != given.end()) {
            const std::string& d = it->second;
            if (d.size() == 1 && d[0] >= 'a' && d[0] <= 'd') out.diseqcInput = static_cast<uint8_t>(d[0] - 'a');
            else if (d.size() == 1 && d[0] >= '1' && d[0] <= '4') out.diseqcInput = static_cast<uint8_t>(d[0] - '1');
            else {
                Refuse(error, "--tune: diseqc takes an input A, B, C or D (or 1 to 4)");
                return std::nullopt;
            }
        }
    }

    if (auto it = given.find("modulation"); it != given.end()) {
        std::string m = it->second;
        m.erase(std::remove_if(m.begin(), m.end(), [](char c) { return c == '-' || c == '/' || c == '_'; }), m.end());
        bool known = false;
        if (family == Family::Satellite) {
            if (m == "qpsk") {
                word[7] = type == kFeedDvbS2 ? 1 : 0;
                known = true;
            } else if (m == "8psk") {
                word[7] = 2;
                known = true;
            }
        } else if (family == Family::Cable) {
            static const std::pair<const char*, uint32_t> qam[] = {
                {"qam16", 1}, {"qam32", 2}, {"qam64", 3}, {"qam128", 4}, {"qam256", 5}};
            for (const auto& [name, code] : qam)
                if (m == name || m == std::string(name + 3) + "qam") {
                    word[7] = code;
                    known = true;
                }
        }
        if (!known) {
            Refuse(error, family == Family::Satellite ? "--tune: satellite modulation takes qpsk or 8psk"
                          : family == Family::Cable   ? "--tune: cable modulation takes qam16, qam32, qam64, qam128 or qam256"
                                                      : "--tune: modulation does not apply to this delivery system");
            return std::nullopt;
        }
        if (word[7] == 2 && type == kFeedDvbS) word[0] = kFeedDvbS2;
    }

    if (auto it = given.find("bw"); it != given.end()) {
        static const std::pair<const char*, uint32_t> widths[] = {{"8", 0}, {"7", 1}, {"6", 2}, {"5", 3}};
        bool known = false;
        std::string b = it->second;
        if (b.size() > 3 && b.ends_with("mhz")) b.resize(b.size() - 3);
        for (const auto& [name, code] : widths)
            if (b == name) {
                word[8] = code;
                known = true;
            }
        if (!known) {
            Refuse(error, "--tune: bw takes 8, 7, 6 or 5 (MHz)");
            return std::nullopt;
        }
    }

    if (auto it = given.find("fec"); it != given.end() && it->second != "auto") {
        Refuse(error, "--tune: the tuning record carries no inner code rate; the tuner finds it (fec=auto)");
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<uint8_t>> ParseDiseqcHex(std::string_view text, std::string* error) {
    constexpr size_t kShortest = 3;
    constexpr size_t kLongest = 6;
    std::vector<uint8_t> bytes;
    std::string digits;
    auto flush = [&]() -> bool {
        if (digits.empty()) return true;
        if (digits.size() % 2 != 0) return false;
        for (size_t i = 0; i < digits.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
        digits.clear();
        return true;
    };
    bool ok = true;
    for (size_t i = 0; i < text.size() && ok; ++i) {
        const char c = text[i];
        if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && digits.empty()) {
            ++i;
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += c;
        } else if (c == ' ' || c == ':' || c == ',' || c == '-') {
            ok = flush();
        } else {
            ok = false;
        }
    }
    ok = ok && flush();
    if (!ok || bytes.size() < kShortest || bytes.size() > kLongest) {
        if (error)
            *error = "--diseqc: \"" + std::string(text) +
                     "\" is not a DiSEqC message of 3 to 6 hexadecimal bytes (e.g. \"E0 10 38 F0\")";
        return std::nullopt;
    }
    return bytes;
}

bool TuneThroughFilter(ITSFeedControl* control, const TuneOptions& tuning, const std::string& feedName,
                       const std::string& tuneText, std::string* error) {
    if (tuning.diseqcInput) {
        const uint32_t* w = tuning.record.word;
        auto message = CommittedSwitchMessage(*tuning.diseqcInput, w[5] != 0, w[6] != 0);
        for (int i = 0; i < kDiseqcTransmissions; ++i) {
            if (!control->SendDiseqcMessage(message.data(), static_cast<uint32_t>(message.size()))) {
                *error = "\"" + feedName + "\" did not take the DiSEqC switch message";
                return false;
            }
            message[0] = kDiseqcRepeatedTransmission;
        }
        std::this_thread::sleep_for(kSwitchSettle);
    }
    if (control->Tune(&tuning.record) != S_OK) {
        *error = "\"" + feedName + "\" refused the tuning " + tuneText;
        return false;
    }
    return true;
}
