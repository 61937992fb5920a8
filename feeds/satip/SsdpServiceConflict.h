#pragma once
// The system's own SSDP services hold the port the discovery listens on: they are
// stopped, with the user's consent unless the settings give it for good.
#include <cstdint>

#include "feeds/satip/SatIpSettings.h"

struct ServiceStopTiming {
    uint32_t giveUpMs = 30000;
    uint32_t shortestWaitMs = 200;
    uint32_t longestWaitMs = 10000;
};

// True when the service is stopped (or was already); waits while it stops.
bool StopSystemService(const char* name, const ServiceStopTiming& timing = {});

// Asks (or, with AlwaysStopSSDP, does not ask) and stops "upnphost" and "SSDPSRV" when
// either runs. A ticked "always" sets AlwaysStopSSDP and, with an application name,
// saves the settings.
void ResolveSsdpServiceConflict(SatIpSettings& settings, const char* application);
