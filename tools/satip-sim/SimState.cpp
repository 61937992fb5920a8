#include "tools/satip-sim/SimState.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

struct MalformedEntry {
    Malformed mode;
    const char* name;
};
constexpr MalformedEntry kMalformedNames[] = {
    {Malformed::None, "off"},           {Malformed::NoCseq, "no-cseq"},        {Malformed::BadStatus, "bad-status"},
    {Malformed::HugeHeader, "huge-header"}, {Malformed::NoTimeout, "no-timeout"}, {Malformed::Garbage, "garbage"},
    {Malformed::Silent, "silent"},      {Malformed::Close, "close"},
};

}  // namespace

bool ParseMalformed(const std::string& name, Malformed* mode) {
    for (const MalformedEntry& e : kMalformedNames)
        if (name == e.name) {
            *mode = e.mode;
            return true;
        }
    return false;
}

const char* MalformedName(Malformed mode) {
    for (const MalformedEntry& e : kMalformedNames)
        if (e.mode == mode) return e.name;
    return "off";
}

bool SimState::MalformedFor(const std::string& method) const {
    if (malformed.load() == Malformed::None) return false;
    return malformedMethods.empty() ||
           std::find(malformedMethods.begin(), malformedMethods.end(), method) != malformedMethods.end();
}

void SimState::Log(const std::string& line) const {
    if (verbose) std::fprintf(stderr, "%s\n", line.c_str());
}

bool Frontends::Configure(const std::string& capabilities) {
    std::vector<char> kinds;
    size_t start = 0;
    while (start < capabilities.size()) {
        size_t comma = capabilities.find(',', start);
        if (comma == std::string::npos) comma = capabilities.size();
        const std::string item = capabilities.substr(start, comma - start);
        start = comma + 1;
        const size_t dash = item.find('-');
        if (dash == std::string::npos || dash + 1 >= item.size()) return false;
        const std::string system = item.substr(0, dash), count = item.substr(dash + 1);
        if (count.size() > 2 || count.find_first_not_of("0123456789") != std::string::npos) return false;
        char kind;
        if (system == "DVBS2" || system == "DVBS")
            kind = 's';
        else if (system == "DVBT" || system == "DVBT2")
            kind = 't';
        else if (system == "DVBC" || system == "DVBC2")
            kind = 'c';
        else
            return false;
        kinds.insert(kinds.end(), std::strtoul(count.c_str(), nullptr, 10), kind);
    }
    if (kinds.empty()) return false;
    std::lock_guard lock(mutex_);
    kinds_ = kinds;
    busy_.assign(kinds.size(), false);
    return true;
}

unsigned Frontends::Acquire(char kind, unsigned wanted) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < kinds_.size(); ++i) {
        if (kinds_[i] != kind || busy_[i] || (wanted && wanted != i + 1)) continue;
        busy_[i] = true;
        return static_cast<unsigned>(i + 1);
    }
    return 0;
}

void Frontends::Release(unsigned frontend) {
    std::lock_guard lock(mutex_);
    if (frontend >= 1 && frontend <= busy_.size()) busy_[frontend - 1] = false;
}

unsigned Frontends::Count(char kind) const {
    std::lock_guard lock(mutex_);
    return static_cast<unsigned>(std::count(kinds_.begin(), kinds_.end(), kind));
}

namespace {

bool ReadNumber(const std::string& text, unsigned max, unsigned* value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return *value <= max;
}

bool ReadSwitch(const std::string& text, bool* value) {
    if (text == "on" || text == "1") return *value = true, true;
    if (text == "off" || text == "0") return *value = false, true;
    return false;
}

}  // namespace

std::string RunControlCommand(SimState& state, const std::string& line, std::atomic<bool>* quit) {
    const size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    unsigned number = 0;
    bool on = false;
    if (command == "die") {
        std::fflush(stdout);
        _exit(3);
    }
    if (command == "quit" && argument.empty()) {
        *quit = true;
        return "ok";
    }
    if ((command == "data" || command == "rtcp" || command == "lock") && ReadSwitch(argument, &on)) {
        (command == "data" ? state.data : command == "rtcp" ? state.rtcp : state.lock) = on;
        return "ok";
    }
    if ((command == "level" && ReadNumber(argument, 255, &number)) ||
        (command == "quality" && ReadNumber(argument, 15, &number))) {
        (command == "level" ? state.level : state.quality) = number;
        return "ok";
    }
    if (command == "delay" && ReadNumber(argument, 600000, &number)) {
        state.replyDelayMs = number;
        return "ok";
    }
    Malformed mode;
    if (command == "malformed" && ParseMalformed(argument, &mode)) {
        state.malformed = mode;
        return "ok";
    }
    return "error: unknown command '" + line + "'";
}
