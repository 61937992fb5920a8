#include <atomic>
#include <thread>
#include <vector>

#include "host/FileInputCommand.h"

namespace {

// Host-supplied mode: the host reads the input on its own thread and hands each
// buffer to the filter.
class PushCommand final : public FileInputCommand {
public:
    PushCommand() : FileInputCommand("push") { in_ = "-"; }

private:
    void DeclareOwn(CLI::App& cmd) override {
        cmd.add_option("--in", in_, "Input file, or - for standard input")->type_name("PATH")->capture_default_str();
    }

    bool Prepare(StreamSession& session, std::string*) override {
        Feed(session, kModeHostSupplied);
        return true;
    }

    bool Start(StreamSession& session, std::string*) override {
        reader_ = std::thread([this, &session] { ReadLoop(session); });
        return true;
    }

    void Stop(StreamSession&) override {
        input_.RequestStop();
        if (reader_.joinable()) reader_.join();
    }

    bool Drained(const StreamSession& session) const override { return session.BytesTaken() >= pushed_.load(); }

    // Hands each full buffer on, and what the buffer holds at the end of the input or
    // when asked to stop.
    void ReadLoop(StreamSession& session) {
        // One queue entry per buffer, so that each one comes back through the callback once.
        std::vector<uint8_t> buffer(kSampleEntryBytes);
        for (;;) {
            size_t got = 0;
            InputFile::Status status = input_.Fill(buffer.data(), buffer.size(), &got);
            if (got > 0) {
                if (!window_.Acquire([&] { return session.OutputFailed(); })) break;
                session.Input()->DeliverBuffer(buffer.data(), static_cast<uint32_t>(got));
                pushed_ += got;
            }
            if (status != InputFile::Status::kData) break;
        }
        inputEnded_.store(true);
        session.Wake();
    }

    std::thread reader_;
    std::atomic<uint64_t> pushed_{0};
};

const bool registered = RegisterCommand(
    {10, "push", "Host-supplied mode: data from a file or standard input", [] { return std::make_unique<PushCommand>(); }});

}  // namespace
