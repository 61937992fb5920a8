#pragma once
// A declared set of simulated tuners and tuning spaces for one test, in a fresh settings
// home, with the call log cleared.
#include <string>

#include "feeds/bda/BDAFeed.h"
#include "platform/bda/BdaCallLog.h"
#include "platform/bda/BdaSimulation.h"
#include "platform/graph/PlatformClasses.h"
#include "tests/platform/RegistryTestSupport.h"

namespace bdatest {

inline SimTunerDeclaration Tuner(std::string name, BdaNetwork network, uint64_t seed = 1) {
    SimTunerDeclaration t;
    t.friendlyName = std::move(name);
    t.network = network;
    t.stream.seed = seed;
    return t;
}

// Tuning spaces for every network; the satellite one carries the mark.
inline std::vector<SimTuningSpaceDeclaration> AllSpaces() {
    return {{"Astra VmDVB-S", BdaNetwork::DVBS},
            {"Cable", BdaNetwork::DVBC},
            {"Terrestrial", BdaNetwork::DVBT},
            {"ATSC", BdaNetwork::ATSC}};
}

class Simulation {
public:
    explicit Simulation(BdaDeclaration declaration) {
        BdaSimulation::Declare(std::move(declaration));
        RegisterPlatformClasses();
        RegisterBdaClasses();
        BdaCallLog::Clear();
    }
    ~Simulation() { BdaSimulation::Reset(); }
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    ScopedRegistryHome home;
};

// Lines of the call log that start with the prefix, in order.
inline std::vector<std::string> Calls(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : BdaCallLog::Lines())
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

}  // namespace bdatest
