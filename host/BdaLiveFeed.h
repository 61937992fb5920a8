#pragma once
// 'kestrel live' runs a BDA tuner's feed in the host rather than inside the filter, so
// that it can tune the feed before it starts and report the feed's own error text; the
// samples go into the filter in host-supplied mode.
#include <string>

#include "feeds/FeedEnumerator.h"
#include "filter/TSFeedInterfaces.h"

class CBDAFeed;

class BdaLiveFeed {
public:
    BdaLiveFeed();
    ~BdaLiveFeed();
    BdaLiveFeed(const BdaLiveFeed&) = delete;
    BdaLiveFeed& operator=(const BdaLiveFeed&) = delete;

    // True when a BDA tuner goes by that name; its stored settings are loaded.
    bool Find(const std::string& name, const std::string& application);
    // KEY=VALUE,... in the units of 'kestrel live --tune'; false with *error on a bad text.
    bool ApplyTuning(const std::string& text, std::string* error);
    // Starts the feed delivering into the filter; false with *error = the feed's error
    // text, and *note naming the connect log when the start wrote one.
    bool Start(ITSFeedSampleInput* input, std::string* error, std::string* note);
    void Stop();

    uint8_t Status() const;
    uint16_t SignalLevel() const;

private:
    CFeedEnumerator enumerator_;
    CFeed* feeds_[CFeedEnumerator::kMaxFeeds] = {};
    CBDAFeed* feed_ = nullptr;
};
