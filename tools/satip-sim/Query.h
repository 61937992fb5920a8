#pragma once
// The tuning query of a SAT>IP request ("src=1&freq=11494&pol=h&...&pids=0,17"), read
// and checked once so that the RTSP and HTTP paths share the same rules.
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

struct PidSet {
    static constexpr unsigned kPids = 8192;
    bool all = false;
    std::bitset<kPids> pids;

    bool Has(unsigned pid) const { return all || (pid < kPids && pids[pid]); }
    bool Empty() const { return !all && pids.none(); }
    // "all", or the PIDs in ascending order separated by commas ("" for none).
    std::string Text() const;
};

// Tuning values by their query name, as the client wrote them (already checked).
struct Tuning {
    std::map<std::string, std::string> values;
    PidSet pids;

    std::string Get(const std::string& key) const {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    }
    // "dvbs" when the query named no system.
    std::string System() const;
    // 's', 't' or 'c': the kind of front end the system needs.
    char FrontendKind() const;
};

// One request's query, split into what it sets.
struct QueryUpdate {
    std::map<std::string, std::string> values;  // tuning keys other than the pid lists
    std::optional<PidSet> pids;
    std::optional<PidSet> addPids, delPids;
    bool Tunes() const { return !values.empty(); }
    bool Empty() const { return values.empty() && !pids && !addPids && !delPids; }
};

// Reads a query (without the '?'). Unknown keys are ignored, as other servers do; a
// known key with a value outside its set gives false and one line in *error.
bool ParseQuery(std::string_view query, QueryUpdate* update, std::string* error);

// Applies an update: new tuning values replace old ones, then pids, addpids, delpids.
void ApplyQuery(const QueryUpdate& update, Tuning* tuning);
