#include "net/SystemUserAgent.h"

#include <sys/utsname.h>

#include <cstdio>

namespace {

constexpr const char* kUserAgentFormat = "%s/%d.%d UPnP/1.1 VelmarSSDP/1.0";
constexpr size_t kUserAgentLimit = 260;

}  // namespace

std::string FormatUserAgent(const char* systemName, const char* release) {
    int major = 0, minor = 0;
    if (release) std::sscanf(release, "%d.%d", &major, &minor);
    char text[kUserAgentLimit + 1];
    std::snprintf(text, sizeof text, kUserAgentFormat, systemName ? systemName : "", major, minor);
    return text;
}

std::string SystemUserAgent() {
    utsname names{};
    if (::uname(&names) != 0) return FormatUserAgent("Linux", nullptr);
    return FormatUserAgent(names.sysname, names.release);
}
