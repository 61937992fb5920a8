#include <cctype>
#include <cstdio>

#include "feeds/FeedEnumerator.h"
#include "feeds/satip/SatIpFeedKind.h"
#include "filter/FeedKindTable.h"
#include "host/Command.h"
#include "host/DesktopSession.h"
#include "host/FeedTypes.h"

namespace {

// "SAT>IP" and "satip" name the same kind.
std::string KindWord(const std::string& text) {
    std::string word;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c))) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

// A feed's configuration dialog in a window, with the feed's settings for the
// application loaded first and saved when the dialog is confirmed: the same settings
// the streaming commands load with the same --app.
class ConfigureCommand final : public Command {
    void Declare(CLI::App& cmd) override {
        cmd.add_option("FEED", feed_, "Display name as 'kestrel feeds' lists it, or a kind: file, iptv, satip")
            ->type_name("")
            ->required();
        cmd.add_option("--app", application_, "Application name the settings are stored under")
            ->type_name("NAME")
            ->capture_default_str();
    }

    int Run(const GlobalOptions&) override {
        DesktopSession desktop;
        std::string error;
        if (!desktop.Open(&error)) return Fail(error);

        CFeedEnumerator enumerator{ModuleFeedKinds()};
        CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
        uint32_t count = CFeedEnumerator::kMaxFeeds;
        enumerator.Enumerate(feeds, &count,
                             FeedRequest::For({kFeedFile, kFeedIptv, kFeedSatIp}, SatIpApplicationToken(application_.c_str())));
        CFeed* feed = nullptr;
        std::vector<CFeed*> ofKind;
        for (uint32_t i = 0; i < count && !feed; ++i) {
            if (feed_ == feeds[i]->GetName()) feed = feeds[i];
            if (KindWord(feed_) == KindWord(FeedTypeName(feeds[i]->GetType()))) ofKind.push_back(feeds[i]);
        }
        if (!feed && ofKind.size() == 1) feed = ofKind.front();
        if (!feed && ofKind.size() > 1)
            return Fail("several feeds are of kind \"" + feed_ + "\": name one (see 'kestrel feeds')");
        if (!feed) return Fail("no feed is named \"" + feed_ + "\" (see 'kestrel feeds')");
        const std::string name = feed->GetName();
        if (!feed->HasConfigDialog()) return Fail("\"" + name + "\" has no configuration dialog");

        feed->LoadSettings(application_.c_str());
        if (!feed->ShowConfigDialog(nullptr, nullptr, nullptr)) {
            std::printf("\"%s\": nothing saved\n", name.c_str());
            return kExitDone;
        }
        if (!feed->SaveSettings(application_.c_str()))
            return Fail("the settings of \"" + name + "\" could not be saved");
        std::printf("\"%s\": settings saved for application \"%s\"\n", name.c_str(), application_.c_str());
        return kExitDone;
    }

    std::string feed_;
    std::string application_ = kDefaultApplicationName;
};

const bool registered = RegisterCommand({110, "configure", "Open a feed's configuration dialog (needs a display)",
                                         [] { return std::make_unique<ConfigureCommand>(); }});

}  // namespace
