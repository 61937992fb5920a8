#include "feeds/FileFeedSetup.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// The live setups of this module; a feed list holds a handful of file feeds at most.
struct LiveSetups {
    std::mutex lock;
    std::vector<const IFileFeedSetup*> setups;
};

LiveSetups& Live() {
    static LiveSetups live;
    return live;
}

}  // namespace

IFileFeedSetup::IFileFeedSetup() {
    std::lock_guard<std::mutex> guard(Live().lock);
    Live().setups.push_back(this);
}

IFileFeedSetup::~IFileFeedSetup() {
    std::lock_guard<std::mutex> guard(Live().lock);
    std::erase(Live().setups, this);
}

IFileFeedSetup* IFileFeedSetup::FromExtension(void* extension) {
    if (!extension) return nullptr;
    std::lock_guard<std::mutex> guard(Live().lock);
    auto& setups = Live().setups;
    auto found = std::find(setups.begin(), setups.end(), static_cast<const IFileFeedSetup*>(extension));
    return found == setups.end() ? nullptr : const_cast<IFileFeedSetup*>(*found);
}
