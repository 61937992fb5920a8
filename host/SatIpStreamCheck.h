#pragma once
// How a host that runs the SAT>IP feed watches its stream: a poll of the status, which
// keeps an RTSP session alive, tells a stream that never came from one that stopped.
#include <chrono>
#include <string>

#include "feeds/satip/SATIPFeed.h"

constexpr auto kSatIpCheckPeriod = std::chrono::milliseconds(200);
// A stream with no data this long after its start never came.
constexpr auto kSatIpNoDataLimit = std::chrono::seconds(5);

// The error line for what went wrong, or nothing while the stream is fine.
inline std::string CheckSatIpStream(CSATIPFeed& feed, std::chrono::steady_clock::duration running,
                                    const std::string& server) {
    feed.GetStatus();
    const bool any = feed.SamplesReceived() > 0;
    if (!any && (feed.SourceEnded() || running >= kSatIpNoDataLimit)) return "no data arrives from SAT>IP server " + server;
    if (any && (feed.SourceEnded() || feed.NoData())) return "connection lost to SAT>IP server " + server;
    return {};
}
