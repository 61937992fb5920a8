#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "feeds/file/StreamAnalysis.h"
#include "filter/FeedFilter.h"
#include "host/Commands.h"
#include "host/RunReport.h"
#include "host/StreamSession.h"

namespace {
}

int RunPlayCommand(const StreamOptions& options, const std::string& source, bool once) {
    std::string path = source;
    size_t marker = path.find(kFileLoopMarker);
    if (marker != std::string::npos) path.resize(marker);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return Fail("cannot open " + path + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return Fail(path + " is not a regular file");
    if (source.size() >= kSourceTextSize) return Fail("the file name is longer than the filter takes (259 bytes)");

    uint32_t measured = MeasureFileBitrate(WidenFileName(path).c_str());
    uint32_t bitrate = measured ? measured : kUnmeasuredFileBitrate;

    StreamSession session;
    std::string error;
    if (!session.Create(options, &error)) return Fail(error);
    const uint64_t fileBytes = static_cast<uint64_t>(info.st_size);
    if (once) session.SetByteLimit(fileBytes);
    // Started here, so that the feed runs before the graph does, as the filter intends.
    session.Control()->SetMode(kModeFile, source.c_str());
    if (!session.Run(&error)) return Fail(error);

    RunReport report("play", [&] { return session.BytesOut(); });
    report.Start();
    WaitWhile(session, options.seconds, [&] { return once && session.BytesOut() >= fileBytes; });
    report.Finish();
    session.Stop();
    session.Control()->SetMode(kModeHostSupplied, nullptr);
    report.PrintSummary(options.json, {RunReport::Integer("file_bitrate", bitrate),
                                       RunReport::Integer("file_size", static_cast<int64_t>(fileBytes))});
    if (session.OutputFailed()) return Fail(session.OutputError());
    return Interrupted() ? 130 : 0;
}
