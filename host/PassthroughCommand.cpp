#include <atomic>

#include "filter/TsMediaTypes.h"
#include "host/FileInputCommand.h"
#include "platform/graph/CPushSourceFilter.h"

namespace {

// Pass-through mode: a source filter in the graph reads the file into "Antenna".
class PassthroughCommand final : public FileInputCommand {
public:
    PassthroughCommand() : FileInputCommand("passthrough") {}

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("--in", in_, "Input file")->type_name("PATH")->required();
    }

    bool Prepare(StreamSession& session, std::string* error) override {
        CMediaType type;
        GetTsMediaType(0, &type);
        source_ = new CPushSourceFilter({type}, static_cast<LONG>(kSampleEntryBytes), 8,
                                        [this, &session](IMediaSample* sample) { return Fill(session, sample); });
        Feed(session, kModePassThrough);
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

    void Stop(StreamSession&) override { input_.RequestStop(); }
    // A read that a stop cut short still hands on what it got.
    bool Drained(const StreamSession& session) const override {
        return !filling_.load() && session.BytesTaken() >= delivered_.load();
    }

    ComPtr<CPushSourceFilter> source_;
    std::atomic<uint64_t> delivered_{0};
    std::atomic<bool> filling_{false};
    bool ended_ = false;  // on the streaming thread only: the last read ended the input
};

const bool registered =
    RegisterCommand({20, "passthrough", "Pass-through mode: a source graph feeds \"Antenna\"",
                     [] { return std::make_unique<PassthroughCommand>(); }});

}  // namespace
