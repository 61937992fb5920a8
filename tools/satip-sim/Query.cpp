#include "tools/satip-sim/Query.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace {

bool IsUnsigned(std::string_view text, unsigned long max) {
    if (text.empty() || text.size() > 9) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    return std::strtoul(std::string(text).c_str(), nullptr, 10) <= max;
}

// A positive decimal number with an optional fraction ("11494", "474.5").
bool IsFrequency(std::string_view text) {
    const size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    if (!IsUnsigned(whole, 999999)) return false;
    if (dot != std::string_view::npos && !IsUnsigned(text.substr(dot + 1), 999999)) return false;
    return std::strtod(std::string(text).c_str(), nullptr) > 0;
}

template <size_t N>
bool OneOf(std::string_view text, const std::array<std::string_view, N>& set) {
    return std::find(set.begin(), set.end(), text) != set.end();
}

bool ValidValue(const std::string& key, std::string_view value) {
    static constexpr std::array<std::string_view, 4> pols{"h", "v", "l", "r"};
    static constexpr std::array<std::string_view, 3> rolloffs{"0.35", "0.25", "0.20"};
    static constexpr std::array<std::string_view, 6> systems{"dvbs", "dvbs2", "dvbt", "dvbt2", "dvbc", "dvbc2"};
    static constexpr std::array<std::string_view, 10> mtypes{"qpsk",  "8psk",  "16apsk", "32apsk", "16qam",
                                                             "32qam", "64qam", "128qam", "256qam", "auto"};
    static constexpr std::array<std::string_view, 3> pilots{"on", "off", "auto"};
    static constexpr std::array<std::string_view, 11> fecs{"12", "23", "34", "35", "45", "56",
                                                           "78", "89", "910", "25", "auto"};
    static constexpr std::array<std::string_view, 6> bandwidths{"1.712", "5", "6", "7", "8", "10"};
    static constexpr std::array<std::string_view, 7> modes{"1k", "2k", "4k", "8k", "16k", "32k", "auto"};
    static constexpr std::array<std::string_view, 8> guards{"14", "18", "116", "132", "1128", "19128", "19256", "auto"};
    if (key == "src") return IsUnsigned(value, 255) && value != "0";
    if (key == "fe") return IsUnsigned(value, 65535) && value != "0";
    if (key == "freq") return IsFrequency(value);
    if (key == "pol") return OneOf(value, pols);
    if (key == "ro") return OneOf(value, rolloffs);
    if (key == "msys") return OneOf(value, systems);
    if (key == "mtype") return OneOf(value, mtypes);
    if (key == "plts") return OneOf(value, pilots);
    if (key == "sr") return IsUnsigned(value, 100000) && value != "0";
    if (key == "fec") return OneOf(value, fecs);
    if (key == "bw") return OneOf(value, bandwidths);
    if (key == "tmode") return OneOf(value, modes);
    if (key == "gi") return OneOf(value, guards);
    if (key == "plp" || key == "ds") return IsUnsigned(value, 255);
    if (key == "t2id") return IsUnsigned(value, 65535);
    if (key == "sm" || key == "specinv") return value == "0" || value == "1";
    if (key == "c2tft") return value == "0" || value == "1" || value == "2";
    return true;
}

bool KnownKey(const std::string& key) {
    static constexpr std::array<std::string_view, 19> keys{"src",  "fe", "freq", "pol",  "ro",      "msys",  "mtype",
                                                           "plts", "sr", "fec",  "bw",   "tmode",   "gi",    "plp",
                                                           "t2id", "sm", "specinv", "c2tft", "ds"};
    return OneOf(std::string_view(key), keys);
}

bool ParsePids(std::string_view text, PidSet* set) {
    *set = PidSet{};
    if (text == "all") {
        set->all = true;
        return true;
    }
    if (text == "none") return true;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma - start);
        if (!IsUnsigned(item, PidSet::kPids - 1)) return false;
        set->pids.set(std::strtoul(std::string(item).c_str(), nullptr, 10));
        if (comma == std::string_view::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

std::string PidSet::Text() const {
    if (all) return "all";
    std::string text;
    for (unsigned pid = 0; pid < kPids; ++pid) {
        if (!pids[pid]) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(pid);
    }
    return text;
}

std::string Tuning::System() const {
    const std::string system = Get("msys");
    return system.empty() ? "dvbs" : system;
}

char Tuning::FrontendKind() const {
    const std::string system = System();
    return system.rfind("dvbt", 0) == 0 ? 't' : system.rfind("dvbc", 0) == 0 ? 'c' : 's';
}

bool ParseQuery(std::string_view query, QueryUpdate* update, std::string* error) {
    *update = QueryUpdate{};
    size_t start = 0;
    while (start <= query.size()) {
        const size_t amp = query.find('&', start);
        const std::string_view pair = query.substr(start, amp == std::string_view::npos ? amp : amp - start);
        start = amp == std::string_view::npos ? query.size() + 1 : amp + 1;
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        const std::string key(pair.substr(0, eq));
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        if (key == "pids" || key == "addpids" || key == "delpids") {
            PidSet set;
            if (!ParsePids(value, &set)) {
                *error = "bad " + key + " '" + std::string(value) + "'";
                return false;
            }
            (key == "pids" ? update->pids : key == "addpids" ? update->addPids : update->delPids) = set;
        } else if (KnownKey(key)) {
            if (!ValidValue(key, value)) {
                *error = "bad " + key + " '" + std::string(value) + "'";
                return false;
            }
            update->values[key] = std::string(value);
        }
    }
    return true;
}

void ApplyQuery(const QueryUpdate& update, Tuning* tuning) {
    if (update.Tunes()) {
        // A new frequency is a new tuning: values of the old one must not linger.
        if (update.values.count("freq")) tuning->values.clear();
        for (const auto& [key, value] : update.values) tuning->values[key] = value;
    }
    if (update.pids) tuning->pids = *update.pids;
    if (update.addPids) {
        if (update.addPids->all) tuning->pids.all = true;
        tuning->pids.pids |= update.addPids->pids;
    }
    if (update.delPids) {
        if (update.delPids->all) tuning->pids = PidSet{};
        tuning->pids.pids &= ~update.delPids->pids;
    }
}
