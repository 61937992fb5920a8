#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "feeds/file/StreamAnalysis.h"
#include "host/Command.h"
#include "host/FileProbe.h"
#include "host/RunReport.h"

namespace {

int Measure(const std::string& path, bool json) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return Fail("cannot open " + path + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return Fail(path + " is not a regular file");
    const uint32_t packetSize = FilePacketSize(path);
    if (packetSize == 0) return Fail("cannot read " + path + ": " + std::strerror(errno));
    uint32_t bitrate = MeasureFileBitrate(WidenFileName(path).c_str());
    if (json) {
        std::printf("{\"file\":\"%s\",\"size\":%lld,\"packet_size\":%u,\"bitrate\":%u}\n", JsonEscape(path).c_str(),
                    static_cast<long long>(info.st_size), packetSize, bitrate);
    } else {
        std::printf("%s: %lld bytes, packets of %u bytes, ", path.c_str(), static_cast<long long>(info.st_size),
                    packetSize);
        if (bitrate)
            std::printf("%u bit/s (%.3f Mbit/s)\n", bitrate, bitrate / 1e6);
        else
            std::printf("bitrate unknown\n");
    }
    if (!bitrate) {
        return Fail("the bitrate of " + path +
                    " cannot be measured: it needs two PCRs on one PID in the 5 MiB that follow the file's first 5 MiB");
    }
    return 0;
}

class MeasureCommand final : public Command {
    void Declare(CLI::App& cmd) override {
        cmd.add_option("PATH", path_, "Transport-stream file")->type_name("")->required();
        cmd.add_flag("--json", json_, "JSON output");
    }
    int Run(const GlobalOptions&) override { return Measure(path_, json_); }
    std::string path_;
    bool json_ = false;
};

const bool registered = RegisterCommand(
    {60, "measure", "Packet size and PCR bitrate of a file", [] { return std::make_unique<MeasureCommand>(); }});

}  // namespace
