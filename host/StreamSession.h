#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "host/FilterGraph.h"
#include "host/StreamCommand.h"
#include "host/OutputTarget.h"

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
    // The output gets whole packets of this size only; a stop that cuts the stream
    // drops the partial packet at its end. 0: bytes as they come.
    void SetPacketSize(size_t bytes) { packetSize_ = bytes; }
    // Stops the graph and any feed the filter runs, and closes the output. complete:
    // the stream came to its own end, so a partial packet at the end goes out too.
    void Stop(bool complete = false);

    // Waits until done() holds, the time passes (seconds > 0), the output fails or,
    // when stopOnInterrupt, a signal arrives. Woken by every write to the output and by
    // Wake(), so each of those ends the wait at once.
    void WaitUntil(double seconds, const std::function<bool()>& done, bool stopOnInterrupt = true);
    // For the command's own threads: something WaitUntil's done() reads has changed.
    void Wake();

    ITSFeedControl* Control() const { return graph_.Control(); }
    ITSFeedSampleInput* Input() const { return graph_.Input(); }
    OutputTarget& Output() { return output_; }
    // What reached the output.
    uint64_t BytesOut() const { return output_.BytesWritten(); }
    // What "TS Out" gave within the byte limit, a held partial packet included.
    uint64_t BytesTaken() const { return taken_.load(); }
    // The rate the stream ran at, from its first delivery to its last; 0 before two.
    double StreamBitrate() const;
    bool OutputFailed() const { return output_.Failed() || udpFailed_.load(); }
    // The first output failure, for the final message.
    std::string OutputError() const { return udpFailed_.load() ? udp_.Error() : output_.Error(); }
    uint64_t DatagramsSent() const { return udp_.DatagramsSent(); }

private:
    // On the sink's thread.
    void Take(const uint8_t* data, size_t length);
    void Emit(const uint8_t* data, size_t length);

    // Declared first so that it outlives everything that may still write to it or
    // run the module's code.
    FilterGraph graph_;
    OutputTarget output_;
    UdpSender udp_;
    bool udpOpen_ = false;
    std::atomic<bool> udpFailed_{false};
    std::atomic<uint64_t> limit_{UINT64_MAX};
    std::atomic<uint64_t> taken_{0};
    size_t packetSize_ = 0;
    std::vector<uint8_t> partial_;  // the packet begun, on the sink's thread
    // Steady-clock nanoseconds of the first and last delivery, and the first's size.
    std::atomic<int64_t> firstAt_{0}, lastAt_{0};
    std::atomic<uint64_t> firstBytes_{0};
    int64_t burstStart_ = 0;  // on the sink's thread
    int wakeFd_ = -1;
};
