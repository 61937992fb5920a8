#include <atomic>

#include "filter/TsMediaTypes.h"
#include "host/InFlightWindow.h"
#include "host/InputFile.h"
#include "host/StreamCommand.h"
#include "host/StreamSession.h"
#include "platform/graph/CPushSourceFilter.h"

namespace {

// Pass-through mode: a source filter in the graph reads the file into "Antenna".
class PassthroughCommand final : public StreamCommand {
public:
    PassthroughCommand() : StreamCommand("passthrough") {}

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("--in", in_, "Input file")->type_name("PATH")->required();
    }

    bool Open(std::string* error) override { return input_.Open(in_, error); }

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
        filling_.store(true);
        const HRESULT hr = FillFromInput(sample);
        filling_.store(false);
        session.Wake();
        return hr;
    }

    HRESULT FillFromInput(IMediaSample* sample) {
        if (!ended_ && window_.Acquire([&] { return source_->StopRequested(); })) {
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            size_t done = 0;
            ended_ = input_.Fill(data, static_cast<size_t>(sample->GetSize()), &done) != InputFile::Status::kData;
            if (done > 0) {
                sample->SetActualDataLength(static_cast<long>(done));
                delivered_ += done;
                return S_OK;
            }
            InFlightWindow::OnSampleOut(&window_, nullptr, 0);  // the slot was not used
        }
        inputEnded_.store(true);
        return S_FALSE;
    }

    bool Finished(const StreamSession& session) const override { return inputEnded_.load() && Drained(session); }
    void Stop(StreamSession&) override { input_.RequestStop(); }
    // A read that a stop cut short still hands on what it got.
    bool Drained(const StreamSession& session) const override {
        return !filling_.load() && session.BytesTaken() >= delivered_.load();
    }
    std::string InputError() const override { return input_.Error(); }

    std::string in_;
    InputFile input_;
    ComPtr<CPushSourceFilter> source_;
    InFlightWindow window_;
    std::atomic<uint64_t> delivered_{0};
    std::atomic<bool> inputEnded_{false};
    std::atomic<bool> filling_{false};
    bool ended_ = false;  // on the streaming thread only: the last read ended the input
};

const bool registered =
    RegisterCommand({20, "passthrough", "Pass-through mode: a source graph feeds \"Antenna\"",
                     [] { return std::make_unique<PassthroughCommand>(); }});

}  // namespace
