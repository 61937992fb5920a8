#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "filter/SampleQueue.h"
#include "filter/TsMediaTypes.h"
#include "host/Commands.h"
#include "host/InFlightWindow.h"
#include "host/RunReport.h"
#include "host/StreamSession.h"
#include "platform/graph/CPushSourceFilter.h"

int RunPassthroughCommand(const StreamOptions& options, const std::string& in) {
    int fd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("cannot open " + in + ": " + std::strerror(errno));

    StreamSession session;
    std::string error;
    if (!session.Create(options, &error)) {
        ::close(fd);
        return Fail(error);
    }
    InFlightWindow window;
    std::atomic<uint64_t> delivered{0};
    std::atomic<bool> inputEnded{false};
    std::string readError;
    CPushSourceFilter* rawSource = nullptr;

    CMediaType type;
    GetTsMediaType(0, &type);
    ComPtr<CPushSourceFilter> source(new CPushSourceFilter(
        {type}, static_cast<LONG>(kSampleEntryBytes), 8, [&](IMediaSample* sample) -> HRESULT {
            if (!window.Acquire([&] { return rawSource->StopRequested(); })) return S_FALSE;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            size_t size = static_cast<size_t>(sample->GetSize()), done = 0;
            while (done < size) {
                ssize_t n = ::read(fd, data + done, size - done);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) readError = "cannot read " + in + ": " + std::strerror(errno);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            if (done == 0) {
                InFlightWindow::OnSampleOut(&window, nullptr, 0);  // the slot was not used
                inputEnded.store(true);
                return S_FALSE;
            }
            sample->SetActualDataLength(static_cast<long>(done));
            delivered += done;
            return S_OK;
        }));
    rawSource = source.Get();
    session.Control()->SetMode(kModePassThrough, nullptr);
    session.Control()->SetDataCallback(&window, &InFlightWindow::OnSampleOut);
    if (!session.ConnectUpstream(source.Get(), &error) || !session.Run(&error)) {
        ::close(fd);
        return Fail(error);
    }

    RunReport report("passthrough", [&] { return session.BytesOut(); });
    report.Start();
    WaitWhile(session, options.seconds,
              [&] { return inputEnded.load() && session.BytesOut() >= delivered.load(); });
    report.Finish();
    session.Control()->SetDataCallback(nullptr, nullptr);
    session.Stop();
    ::close(fd);
    report.PrintSummary(options.json, {});
    if (!readError.empty()) return Fail(readError);
    if (session.OutputFailed()) return Fail(session.OutputError());
    return Interrupted() ? 130 : 0;
}
