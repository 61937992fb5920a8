#pragma once
// Simulated tuner hardware and the system's tuning spaces. Tests declare them in code;
// a person declares them in "tuners.conf" in the settings directory (README, "Simulated
// tuners"). Without a declaration there are no tuners and no tuning spaces.
#include "platform/bda/BdaInterfaces.h"
#include "platform/sim/PacedStream.h"
#include <optional>
#include <string>
#include <vector>

enum class BdaNetwork { DVBS, DVBC, DVBT, ATSC };

// The network provider class that serves a network; a tuning space's network type.
const CLSID& NetworkProviderClass(BdaNetwork network);
// "DVB-S", "DVB-C", "DVB-T", "ATSC"
const char* BdaNetworkName(BdaNetwork network);

struct SimReceiverDeclaration {
    std::optional<std::string> friendlyName;  // none: the device has no "FriendlyName"
    bool accepts = true;                       // takes its own tuner's output connection
};

struct SimTunerDeclaration {
    std::optional<std::string> friendlyName;  // none: the device has no "FriendlyName"
    BdaNetwork network = BdaNetwork::DVBT;
    // Listed in the receiver-component category after those of earlier tuners.
    std::vector<SimReceiverDeclaration> receivers;
    // Signal level in percent once locked; ITuner::get_SignalStrength reports it scaled to
    // 0..0x7FFF in its upper 16 bits.
    int signal = 80;
    // Time from a tune request to lock; negative: never locks (no signal, no stream).
    int lockDelayMs = 0;
    PacedStreamSource stream;
};

struct SimTuningSpaceDeclaration {
    std::string friendlyName;
    BdaNetwork network = BdaNetwork::DVBS;
};

struct BdaDeclaration {
    std::vector<SimTunerDeclaration> tuners;
    std::vector<SimTuningSpaceDeclaration> tuningSpaces;
    // The TS export filter: whether it can be created at all, and whether its input pin
    // accepts the tee's transport stream (false: the direct and intelligent connections
    // both fail).
    bool exportFilterPresent = true;
    bool exportFilterAccepts = true;
    // Output pins of each new MPEG-2 demultiplexer.
    unsigned demuxOutputPins = 5;
};

class BdaSimulation {
public:
    // Replaces the process's declaration. Devices already bound keep their declared.
    static void Declare(BdaDeclaration declaration);
    // Forgets any declaration: the next use reads the file again.
    static void Reset();
    // The current declaration; the first call without one reads DefaultFilePath()
    // (a missing or unreadable file declares nothing).
    static BdaDeclaration Current();

    // "<settings directory>/tuners.conf", beside the registry's .reg files.
    static std::string DefaultFilePath();
    // False with a one-line *error ("<path>:<line>: <why>") when the file does not parse;
    // a missing file is an empty declaration.
    static bool ParseFile(const std::string& path, BdaDeclaration* out, std::string* error);
    static bool ParseText(const std::string& text, BdaDeclaration* out, std::string* error);

    // Makes the tuner with this friendly name vanish (true) or come back (false): it
    // leaves the device enumeration, its signal drops and a running stream ends.
    static void SetVanished(const std::string& friendlyName, bool vanished);
    static bool IsVanished(const std::string& friendlyName);
};

// Makes the framework's classes creatable with CoCreateInstance: the system device
// enumerator, the tuning-space container, the four locators, the network providers,
// the infinite pin tee, the MPEG-2 demultiplexer and the TS export filter (the last
// two as the declaration says), and writes the classes' names under
// HKEY_CLASSES_ROOT\CLSID where they are missing. Safe to call again.
HRESULT RegisterBdaClasses();
