#pragma once
#include <atomic>
#include <functional>
#include <string>

#include "host/StreamCommand.h"
#include "host/KestrelModule.h"
#include "host/OutputTarget.h"
#include "platform/graph/CSampleSinkFilter.h"

// The host's graph: the filter, a sink on "TS Out" that writes to the output, and
// optionally an upstream source on "Antenna".
class StreamSession {
public:
    StreamSession() = default;
    ~StreamSession();

    // Loads the module, creates the filter and the graph, opens the output.
    bool Create(const StreamOptions& options, std::string* error);
    // Adds a source filter and connects its output pin to "Antenna".
    bool ConnectUpstream(IBaseFilter* source, std::string* error);
    bool Run(std::string* error);
    // The output takes at most this many bytes; what comes after is dropped.
    void SetByteLimit(uint64_t bytes) { limit_.store(bytes); }
    // Stops the graph and any feed the filter runs, and closes the output.
    void Stop();

    // Waits until done() holds, the time passes (seconds > 0), the output fails or,
    // when stopOnInterrupt, a signal arrives. Woken by every write to the output and by
    // Wake(), so each of those ends the wait at once.
    void WaitUntil(double seconds, const std::function<bool()>& done, bool stopOnInterrupt = true);
    // For the command's own threads: something WaitUntil's done() reads has changed.
    void Wake();

    ITSFeedControl* Control() const { return control_.Get(); }
    ITSFeedSampleInput* Input() const { return input_.Get(); }
    OutputTarget& Output() { return output_; }
    uint64_t BytesOut() const { return output_.BytesWritten(); }
    bool OutputFailed() const { return output_.Failed() || udpFailed_.load(); }
    // The first output failure, for the final message.
    std::string OutputError() const { return udpFailed_.load() ? udp_.Error() : output_.Error(); }
    uint64_t DatagramsSent() const { return udp_.DatagramsSent(); }

private:
    // Declared first so that it outlives everything that may still write to it or
    // run the module's code.
    KestrelModule module_;
    OutputTarget output_;
    UdpSender udp_;
    bool udpOpen_ = false;
    ComPtr<IBaseFilter> filter_;
    ComPtr<ITSFeedControl> control_;
    ComPtr<ITSFeedSampleInput> input_;
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaControl> mediaControl_;
    ComPtr<CSampleSinkFilter> sink_;
    bool running_ = false;
    std::atomic<bool> udpFailed_{false};
    std::atomic<uint64_t> limit_{UINT64_MAX};
    int wakeFd_ = -1;
};
