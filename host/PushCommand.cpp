#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "filter/SampleQueue.h"
#include "host/Commands.h"
#include "host/InFlightWindow.h"
#include "host/RunReport.h"
#include "host/StreamSession.h"

namespace {
// Reads until the buffer is full or the input ends; -1 on a read error.
ssize_t ReadFull(int fd, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}
}  // namespace

int RunPushCommand(const StreamOptions& options, const std::string& in) {
    int fd = in == "-" ? STDIN_FILENO : ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("cannot open " + in + ": " + std::strerror(errno));

    StreamSession session;
    std::string error;
    if (!session.Create(options, &error)) return Fail(error);
    InFlightWindow window;
    session.Control()->SetMode(kModeHostSupplied, nullptr);
    session.Control()->SetDataCallback(&window, &InFlightWindow::OnSampleOut);
    if (!session.Run(&error)) return Fail(error);

    RunReport report("push", [&] { return session.BytesOut(); });
    report.Start();
    const auto start = RunReport::Clock::now();
    auto timeUp = [&] {
        return options.seconds > 0 &&
               std::chrono::duration<double>(RunReport::Clock::now() - start).count() >= options.seconds;
    };
    auto stop = [&] { return Interrupted() || session.OutputFailed() || timeUp(); };

    // One queue entry per buffer, so that each one comes back through the callback once.
    std::vector<uint8_t> buffer(kSampleEntryBytes);
    uint64_t pushed = 0;
    std::string readError;
    while (!stop()) {
        ssize_t n = ReadFull(fd, buffer.data(), buffer.size());
        if (n < 0) {
            readError = "cannot read " + (in == "-" ? std::string("standard input") : in) + ": " + std::strerror(errno);
            break;
        }
        if (n == 0) break;
        if (!window.Acquire(stop)) break;
        session.Input()->DeliverBuffer(buffer.data(), static_cast<uint32_t>(n));
        pushed += static_cast<uint64_t>(n);
    }
    if (fd != STDIN_FILENO) ::close(fd);
    // Everything pushed leaves the filter before the graph stops.
    WaitWhile(session, 0, [&] { return session.BytesOut() >= pushed; });
    report.Finish();
    session.Control()->SetDataCallback(nullptr, nullptr);
    session.Stop();
    report.PrintSummary(options.json, {});
    if (!readError.empty()) return Fail(readError);
    if (session.OutputFailed()) return Fail(session.OutputError());
    return Interrupted() ? 130 : 0;
}
