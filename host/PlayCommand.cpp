#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "feeds/file/StreamAnalysis.h"
#include "host/FileProbe.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"

namespace {

// File mode: the filter's own file feed plays the file at its measured bitrate.
class PlayCommand final : public StreamCommand {
public:
    PlayCommand() : StreamCommand("play") {}

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("PATH", source_, "File; append :LOOP: to loop (the filter loops files in any case)")
            ->type_name("")
            ->required();
        cmd.add_flag("--once", once_, "Stop after exactly one pass of the file");
    }

    bool Open(std::string* error) override {
        std::string path = source_;
        size_t marker = path.find(kFileLoopMarker);
        if (marker != std::string::npos) path.resize(marker);
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) {
            *error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            *error = path + " is not a regular file";
            return false;
        }
        if (source_.size() >= kSourceTextSize) {
            *error = "the file name is longer than the filter takes (259 bytes)";
            return false;
        }
        fileBytes_ = static_cast<uint64_t>(info.st_size);
        if (uint32_t size = FilePacketSize(path)) packetSize_ = size;
        uint32_t measured = MeasureFileBitrate(WidenFileName(path).c_str());
        bitrate_ = measured ? measured : kUnmeasuredFileBitrate;
        return true;
    }

    bool Prepare(StreamSession& session, std::string*) override {
        if (once_) session.SetByteLimit(fileBytes_);
        session.SetPacketSize(packetSize_);
        // Started here, so that the feed runs before the graph does, as the filter intends.
        session.Control()->SetMode(kModeFile, source_.c_str());
        return true;
    }

    bool Finished(const StreamSession& session) const override { return once_ && session.BytesTaken() >= fileBytes_; }

    std::vector<RunReport::Field> Summary() const override {
        return {RunReport::Integer("file_bitrate", bitrate_),
                RunReport::Integer("file_size", static_cast<int64_t>(fileBytes_))};
    }

    std::string source_;
    bool once_ = false;
    uint64_t fileBytes_ = 0;
    uint32_t bitrate_ = 0;
    size_t packetSize_ = 188;
};

const bool registered =
    RegisterCommand({40, "play", "File mode: play a transport-stream file at its measured bitrate",
                     [] { return std::make_unique<PlayCommand>(); }});

}  // namespace
