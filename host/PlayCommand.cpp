#include <cstdio>
#include <memory>

#include "feeds/file/FileFeed.h"
#include "host/FeedPush.h"
#include "host/StreamCommand.h"
#include "host/StreamFileFacts.h"
#include "host/StreamSession.h"
#include "tools/tsgen/BitrateText.h"

namespace {

struct FeedDestroyer {
    void operator()(CFeed* feed) const { DestroyFeed(feed); }
};

// File mode: the filter's own file feed plays the file at its measured bitrate. With
// --bitrate the host runs a file feed itself at that rate, since the filter always
// plays at the rate it measures, and hands its samples over in host-supplied mode.
// Without a path the host runs the file feed with the settings stored for --app (what
// 'kestrel configure file' saves): its file, loop, bitrate and bitrate lock.
class PlayCommand final : public StreamCommand {
public:
    PlayCommand() : StreamCommand("play") {}

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("PATH", source_,
                       "File; append :LOOP: to loop (the filter loops files in any case); none: the file feed's "
                       "stored settings for --app")
            ->type_name("");
        cmd.add_option("--app", application_, "Application whose stored file feed settings play when PATH is absent")
            ->type_name("NAME")
            ->capture_default_str();
        cmd.add_flag("--once", once_, "Stop after exactly one pass of the file");
        cmd.add_option("--bitrate", bitrateText_,
                       "Play at this rate instead of the measured one: 8000000, 8M, 38.5M, 500k (bit/s)")
            ->type_name("RATE");
    }

    std::string Check(const CLI::App& cmd) override {
        if (std::string error = StreamCommand::Check(cmd); !error.empty()) return error;
        if (cmd.count("--bitrate")) {
            std::string error;
            const auto rate = ParseBitrate(bitrateText_, &error);
            if (!rate) return "--bitrate: " + error;
            // Beyond this a 100 ms block no longer fits the file feed's buffers.
            if (*rate > kHighestRate)
                return "--bitrate: '" + bitrateText_ + "' is above " + std::to_string(kHighestRate) +
                       " bit/s, the most the file feed paces";
            requested_ = *rate;
        }
        return {};
    }

    bool Open(std::string* error) override {
        if (source_.empty() && !LoadStored(error)) return false;
        if (source_.size() >= kSourceTextSize) {
            *error = "the file name is longer than the filter takes (259 bytes)";
            return false;
        }
        std::string path = source_;
        if (const size_t marker = path.find(kFileLoopMarker); marker != std::string::npos) path.resize(marker);
        facts_ = ExamineStreamFile(path);
        if (std::string refusal = facts_.Refusal(); !refusal.empty()) {
            *error = refusal;
            return false;
        }
        rate_ = requested_                      ? requested_
                : stored_ && feed_->BitrateLock() ? feed_->Bitrate()
                : facts_.measured                 ? facts_.measured
                                                  : kUnmeasuredFileBitrate;
        const uint32_t average = facts_.summary.AverageBitrate();
        if (!facts_.measured && !stored_) {
            std::string hint = ", the default (--bitrate sets another)";
            if (requested_)
                hint = " as --bitrate asks";
            else if (average)
                hint = ", the default (--bitrate " + std::to_string(average) + " plays it at the file's average)";
            Note("the bitrate of " + path + " cannot be measured: " + facts_.UnmeasuredReason() + "; playing at " +
                 RateText(rate_) + hint);
        } else if (!requested_ && facts_.RatesDisagree()) {
            Note(path + ": the measured rate, " + RateText(facts_.measured) +
                 ", differs by more than 10% from the file's average from its first to its last PCR, " +
                 RateText(average) + "; playing at the measured rate (--bitrate " + std::to_string(average) +
                 " plays it at the average)");
        }
        if (requested_ && !feed_) feed_.reset(new CFileFeed(0));
        return true;
    }

    bool LoadStored(std::string* error) {
        feed_.reset(new CFileFeed(0));
        if (!feed_->LoadSettings(application_.c_str()) || !*feed_->FileName()) {
            *error = "no file is stored for the application \"" + application_ +
                     "\": give PATH, or choose one with 'kestrel configure file --app " + application_ + "'";
            return false;
        }
        stored_ = true;
        source_ = feed_->FileName();
        // A file stored without looping plays once, as the feed would play it.
        if (!feed_->Loop()) once_ = true;
        return true;
    }

    bool Prepare(StreamSession& session, std::string*) override {
        if (once_) session.SetByteLimit(facts_.summary.size);
        session.SetPacketSize(facts_.summary.packetSize);
        if (feed_) {
            session.Control()->SetMode(kModeHostSupplied, nullptr);
            return true;
        }
        // Started here, so that the feed runs before the graph does, as the filter intends.
        session.Control()->SetMode(kModeFile, source_.c_str());
        return true;
    }

    bool Start(StreamSession& session, std::string* error) override {
        if (!feed_) return true;
        feed_->SetFileName(source_.c_str());
        feed_->SetBitrate(rate_);
        // The stored bitrate lock stays as the person chose it; --bitrate paces.
        if (!stored_ || requested_) feed_->SetBitrateLock(true);
        feed_->SetLoop(true);
        feed_->SetCallback(session.Input(), &PushSampleIntoFilter);
        if (feed_->Start(0)) return true;
        const char* text = feed_->GetErrorText();
        *error = "cannot play " + facts_.path + ": " + (text && *text ? text : "the file feed did not start");
        return false;
    }

    void Stop(StreamSession&) override {
        if (!feed_) return;
        feed_->Stop();
        feed_->SetCallback(nullptr, nullptr);
    }

    bool Finished(const StreamSession& session) const override {
        return once_ && session.BytesTaken() >= facts_.summary.size;
    }

    std::vector<RunReport::Field> Summary() const override {
        return {RunReport::Integer("file_bitrate", rate_),
                RunReport::Integer("measured_bitrate", facts_.measured),
                RunReport::Integer("average_bitrate", facts_.summary.AverageBitrate()),
                RunReport::Integer("file_size", static_cast<int64_t>(facts_.summary.size))};
    }

    static void Note(const std::string& text) { std::fprintf(stderr, "kestrel: %s\n", text.c_str()); }

    static constexpr uint32_t kHighestRate = 80 * CFileFeed::kBufferSize;

    std::string source_;
    std::string application_ = kDefaultApplicationName;
    bool stored_ = false;  // playing the stored settings
    bool once_ = false;
    std::string bitrateText_;
    uint32_t requested_ = 0;  // --bitrate; 0: not given
    StreamFileFacts facts_;
    uint32_t rate_ = 0;
    std::unique_ptr<CFileFeed, FeedDestroyer> feed_;
};

const bool registered =
    RegisterCommand({40, "play", "File mode: play a transport-stream file at its measured bitrate",
                     [] { return std::make_unique<PlayCommand>(); }});

}  // namespace
