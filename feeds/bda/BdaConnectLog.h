#pragma once
// The connect log written when the export filter cannot be attached to the private
// graph: a header, then the graph's own trace of a second direct and intelligent
// attempt. Our lines are UTF-16LE without a byte-order mark; the file only grows.
#include <string>
#include <string_view>

#include "platform/graph/Interfaces.h"

// The log's name as users have always been told it.
constexpr const char* kBdaConnectLogDrivePath = "C:\\Brix BDA Log.txt";

// A drive path in the per-user settings directory: "C:\dir\name" becomes
// "<settings directory>/drive_c/dir/name". Anything else is returned unchanged.
std::string MapDrivePath(std::string_view drivePath);

// The header line for the given build date, build time and local time texts.
std::u16string BdaConnectLogHeader(const char* buildDate, const char* buildTime, const char* localTime);

// Appends header and both attempts to the file at path; the attempts' results are not
// used. False when the file could not be opened (nothing is written then).
bool WriteBdaConnectLog(const std::string& path, IGraphBuilder* graph, IPin* output, IPin* input);
