#include "platform/bda/BdaSimulation.h"
#include "platform/registry/Registry.h"
#include <algorithm>
#include <cerrno>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

namespace {

constexpr char kFileName[] = "tuners.conf";

struct State {
    std::mutex m;
    std::optional<BdaDeclaration> declaration;
    std::set<std::string> vanished;
};

State& Sim() {
    static State state;
    return state;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::optional<BdaNetwork> NetworkFromText(const std::string& text) {
    static const std::pair<const char*, BdaNetwork> kNames[] = {
        {"DVB-S", BdaNetwork::DVBS}, {"DVB-C", BdaNetwork::DVBC}, {"DVB-T", BdaNetwork::DVBT}, {"ATSC", BdaNetwork::ATSC}};
    for (const auto& [name, network] : kNames)
        if (text == name) return network;
    return std::nullopt;
}

bool ParseNumber(const std::string& text, long long low, long long high, long long* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *out = v;
    return true;
}

// The tuning spaces a file gets when it names none: one per network, the satellite one
// named so that satellite feeds accept it.
std::vector<SimTuningSpaceDeclaration> DefaultTuningSpaces() {
    return {{"Kestrel VmDVB-S", BdaNetwork::DVBS},
            {"Kestrel DVB-C", BdaNetwork::DVBC},
            {"Kestrel DVB-T", BdaNetwork::DVBT},
            {"Kestrel ATSC", BdaNetwork::ATSC}};
}

}  // namespace

const CLSID& NetworkProviderClass(BdaNetwork network) {
    switch (network) {
    case BdaNetwork::DVBS: return CLSID_DVBSNetworkProvider;
    case BdaNetwork::DVBC: return CLSID_DVBCNetworkProvider;
    case BdaNetwork::DVBT: return CLSID_DVBTNetworkProvider;
    case BdaNetwork::ATSC: return CLSID_ATSCNetworkProvider;
    }
    return GUID_NULL;
}

const char* BdaNetworkName(BdaNetwork network) {
    switch (network) {
    case BdaNetwork::DVBS: return "DVB-S";
    case BdaNetwork::DVBC: return "DVB-C";
    case BdaNetwork::DVBT: return "DVB-T";
    case BdaNetwork::ATSC: return "ATSC";
    }
    return "";
}

void BdaSimulation::Declare(BdaDeclaration declaration) {
    std::lock_guard lock(Sim().m);
    Sim().declaration = std::move(declaration);
    Sim().vanished.clear();
}

void BdaSimulation::Reset() {
    std::lock_guard lock(Sim().m);
    Sim().declaration.reset();
    Sim().vanished.clear();
}

BdaDeclaration BdaSimulation::Current() {
    std::lock_guard lock(Sim().m);
    if (!Sim().declaration) {
        BdaDeclaration fromFile;
        std::string error;
        // A broken file declares nothing rather than half of it.
        if (!ParseFile(DefaultFilePath(), &fromFile, &error)) fromFile = BdaDeclaration{};
        Sim().declaration = std::move(fromFile);
    }
    return *Sim().declaration;
}

std::string BdaSimulation::DefaultFilePath() { return RegistryDirectory() + "/" + kFileName; }

bool BdaSimulation::ParseFile(const std::string& path, BdaDeclaration* out, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *out = BdaDeclaration{};
        return true;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string why;
    if (ParseText(text.str(), out, &why)) return true;
    if (error) *error = path + ":" + why;
    return false;
}

// Sections "[tuner]" and "[tuning-space]", "key = value" lines, "#" comments. See the
// README's "Simulated tuners".
bool BdaSimulation::ParseText(const std::string& text, BdaDeclaration* out, std::string* error) {
    BdaDeclaration result;
    enum class Section { None, Tuner, Space, Graph } section = Section::None;
    bool anySpace = false;
    std::istringstream lines(text);
    std::string raw;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(lines, raw)) {
        ++lineNo;
        std::string line = Trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        if (line == "[tuner]") {
            section = Section::Tuner;
            result.tuners.emplace_back();
            continue;
        }
        if (line == "[tuning-space]") {
            section = Section::Space;
            result.tuningSpaces.emplace_back();
            result.tuningSpaces.back().friendlyName.clear();
            anySpace = true;
            continue;
        }
        if (line == "[graph]") {
            section = Section::Graph;
            continue;
        }
        if (line.front() == '[') return fail("unknown section " + line);
        size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("expected key = value");
        std::string key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        long long n = 0;
        if (section == Section::Tuner) {
            SimTunerDeclaration& t = result.tuners.back();
            if (key == "name") {
                t.friendlyName = value;
            } else if (key == "network") {
                auto network = NetworkFromText(value);
                if (!network) return fail("network must be DVB-S, DVB-C, DVB-T or ATSC");
                t.network = *network;
            } else if (key == "receiver") {
                // "<name>" or "<name>, refuses"
                SimReceiverDeclaration r;
                size_t comma = value.rfind(',');
                std::string flag = comma == std::string::npos ? "" : Trim(value.substr(comma + 1));
                if (flag == "refuses" || flag == "accepts") {
                    r.accepts = flag == "accepts";
                    value = Trim(value.substr(0, comma));
                }
                if (value.empty()) return fail("receiver needs a name");
                r.friendlyName = value;
                t.receivers.push_back(r);
            } else if (key == "signal") {
                if (!ParseNumber(value, 0, 100, &n)) return fail("signal must be 0 to 100");
                t.signal = static_cast<int>(n);
            } else if (key == "lock-delay") {
                if (value == "never")
                    t.lockDelayMs = -1;
                else if (ParseNumber(value, 0, 600000, &n))
                    t.lockDelayMs = static_cast<int>(n);
                else
                    return fail("lock-delay must be milliseconds (0 to 600000) or never");
            } else if (key == "file" || key == "stream") {  // cards.conf says "stream"
                t.stream.file = value;
            } else if (key == "bitrate" || key == "rate") {
                if (!ParseNumber(value, 1, 1000000000, &n)) return fail("bitrate must be 1 to 1000000000 bit/s");
                t.stream.bitrate = static_cast<uint32_t>(n);
            } else if (key == "packet-size") {
                if (value != "188" && value != "192" && value != "204") return fail("packet-size must be 188, 192 or 204");
                t.stream.packetSize = static_cast<unsigned>(std::stoul(value));
            } else if (key == "seed") {
                if (!ParseNumber(value, 0, INT64_MAX, &n)) return fail("seed must be a number");
                t.stream.seed = static_cast<uint64_t>(n);
            } else {
                return fail("unknown tuner key " + key);
            }
        } else if (section == Section::Space) {
            SimTuningSpaceDeclaration& s = result.tuningSpaces.back();
            if (key == "name") {
                s.friendlyName = value;
            } else if (key == "network") {
                auto network = NetworkFromText(value);
                if (!network) return fail("network must be DVB-S, DVB-C, DVB-T or ATSC");
                s.network = *network;
            } else {
                return fail("unknown tuning-space key " + key);
            }
        } else if (section == Section::Graph) {
            if (key == "export-filter") {
                if (value == "absent")
                    result.exportFilterPresent = false;
                else if (value == "refuses")
                    result.exportFilterAccepts = false;
                else if (value != "accepts")
                    return fail("export-filter must be accepts, refuses or absent");
            } else if (key == "demux-pins") {
                if (!ParseNumber(value, 0, 32, &n)) return fail("demux-pins must be 0 to 32");
                result.demuxOutputPins = static_cast<unsigned>(n);
            } else {
                return fail("unknown graph key " + key);
            }
        } else {
            return fail("key outside a section");
        }
    }
    if (!anySpace) result.tuningSpaces = DefaultTuningSpaces();
    *out = std::move(result);
    return true;
}

void BdaSimulation::SetVanished(const std::string& friendlyName, bool vanished) {
    std::lock_guard lock(Sim().m);
    if (vanished)
        Sim().vanished.insert(friendlyName);
    else
        Sim().vanished.erase(friendlyName);
}

bool BdaSimulation::IsVanished(const std::string& friendlyName) {
    std::lock_guard lock(Sim().m);
    return Sim().vanished.count(friendlyName) != 0;
}
