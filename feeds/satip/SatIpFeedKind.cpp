#include "feeds/satip/SatIpFeedKind.h"

#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "feeds/satip/SATIPFeed.h"

namespace {

// The names handed out so far; a token is its index plus one. Names are few (one per
// host program), so the table only grows by the names actually used.
std::mutex namesLock;
std::vector<std::string>& Names() {
    static std::vector<std::string> names;
    return names;
}

std::string NameOf(uint32_t token) {
    std::lock_guard lock(namesLock);
    const auto& names = Names();
    return token == 0 || token > names.size() ? std::string() : names[token - 1];
}

}  // namespace

uint32_t SatIpApplicationToken(const char* application) {
    if (!application || !*application) return 0;
    std::lock_guard lock(namesLock);
    auto& names = Names();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == application) return static_cast<uint32_t>(i + 1);
    names.emplace_back(application);
    return static_cast<uint32_t>(names.size());
}

FeedKind SatIpFeedKind() {
    return {FeedKind::Probe::Single,
            [](uint32_t token) -> CFeed* {
                const std::string application = NameOf(token);
                return new (std::nothrow) CSATIPFeed(application.empty() ? nullptr : application.c_str());
            },
            kFeedSatIp};
}
