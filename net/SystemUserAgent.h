#pragma once
// How this program names itself to UPnP devices and SAT>IP servers:
// "<system>/<major>.<minor> UPnP/1.1 VelmarSSDP/1.0" with the running kernel's name
// and version ("Linux/6.1 UPnP/1.1 VelmarSSDP/1.0"), at most 260 characters.
#include <string>

std::string SystemUserAgent();
// The same from a given system name and release text ("Linux", "6.1.0-13-amd64").
std::string FormatUserAgent(const char* systemName, const char* release);
