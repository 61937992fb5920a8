#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "filter/TsMediaTypes.h"
#include "host/InFlightWindow.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"
#include "platform/graph/CPushSourceFilter.h"

namespace {

// Pass-through mode: a source filter in the graph reads the file into "Antenna".
class PassthroughCommand final : public StreamCommand {
public:
    PassthroughCommand() : StreamCommand("passthrough") {}
    ~PassthroughCommand() override {
        if (fd_ >= 0) ::close(fd_);
    }

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("--in", in_, "Input file")->type_name("PATH")->required();
    }

    bool Open(std::string* error) override {
        fd_ = ::open(in_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ >= 0) return true;
        *error = "cannot open " + in_ + ": " + std::strerror(errno);
        return false;
    }

    bool Prepare(StreamSession& session, std::string* error) override {
        CMediaType type;
        GetTsMediaType(0, &type);
        source_ = new CPushSourceFilter({type}, static_cast<LONG>(kSampleEntryBytes), 8,
                                        [this, &session](IMediaSample* sample) { return Fill(session, sample); });
        session.Control()->SetMode(kModePassThrough, nullptr);
        session.Control()->SetDataCallback(&window_, &InFlightWindow::OnSampleOut);
        return session.ConnectUpstream(source_.Get(), error);
    }

    // On the source filter's streaming thread.
    HRESULT Fill(StreamSession& session, IMediaSample* sample) {
        if (!window_.Acquire([&] { return source_->StopRequested(); })) return S_FALSE;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        size_t size = static_cast<size_t>(sample->GetSize()), done = 0;
        while (done < size) {
            ssize_t n = ::read(fd_, data + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) readError_ = "cannot read " + in_ + ": " + std::strerror(errno);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        if (done == 0) {
            InFlightWindow::OnSampleOut(&window_, nullptr, 0);  // the slot was not used
            inputEnded_.store(true);
            session.Wake();
            return S_FALSE;
        }
        sample->SetActualDataLength(static_cast<long>(done));
        delivered_ += done;
        return S_OK;
    }

    bool Finished(const StreamSession& session) const override { return inputEnded_.load() && Drained(session); }
    bool Drained(const StreamSession& session) const override { return session.BytesOut() >= delivered_.load(); }
    std::string InputError() const override { return readError_; }

    std::string in_;
    int fd_ = -1;
    ComPtr<CPushSourceFilter> source_;
    InFlightWindow window_;
    std::atomic<uint64_t> delivered_{0};
    std::atomic<bool> inputEnded_{false};
    std::string readError_;  // written on the streaming thread, read after the graph stopped
};

const bool registered =
    RegisterCommand({20, "passthrough", "Pass-through mode: a source graph feeds \"Antenna\"",
                     [] { return std::make_unique<PassthroughCommand>(); }});

}  // namespace
