#include "host/BdaLiveFeed.h"

#include <cstring>

#include "feeds/bda/BDAFeed.h"
#include "feeds/bda/BdaFeedKind.h"
#include "host/FeedPush.h"
#include "host/TuneOptions.h"

namespace {
constexpr const char* kConnectLogNote = "the connect log is ";

std::span<const FeedKind> TunerKinds() {
    static const FeedKind kinds[] = {BdaFeedKind()};
    return kinds;
}
}  // namespace

BdaLiveFeed::BdaLiveFeed() : enumerator_(TunerKinds()) {}

BdaLiveFeed::~BdaLiveFeed() { enumerator_.DestroyAllFeeds(); }

bool BdaLiveFeed::Find(const std::string& name, const std::string& application) {
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    enumerator_.Enumerate(feeds_, &count, FeedRequest{});
    for (uint32_t i = 0; i < count && !feed_; ++i)
        if (std::strcmp(feeds_[i]->GetName(), name.c_str()) == 0) feed_ = dynamic_cast<CBDAFeed*>(feeds_[i]);
    if (feed_) feed_->LoadSettings(application.c_str());
    return feed_ != nullptr;
}

bool BdaLiveFeed::ApplyTuning(const std::string& text, std::string* error) {
    const auto options = ParseTuneOptions(text, feed_->GetType(), error);
    if (!options) return false;
    feed_->SetTuning(options->record);
    return true;
}

bool BdaLiveFeed::Start(ITSFeedSampleInput* input, std::string* error, std::string* note) {
    feed_->SetCallback(input, &PushSampleIntoFilter);
    if (feed_->Start(0)) return true;
    const char* text = feed_->GetErrorText();
    *error = text ? text : "the tuner did not start";
    if (feed_->ConnectLogWritten()) *note = kConnectLogNote + CBDAFeed::ConnectLogPath();
    return false;
}

void BdaLiveFeed::Stop() {
    feed_->Stop();
    feed_->SetCallback(nullptr, nullptr);
}

uint8_t BdaLiveFeed::Status() const { return feed_->GetStatus(); }
uint16_t BdaLiveFeed::SignalLevel() const { return feed_->GetSignalLevel(); }
