#pragma once
// The element's stream, free of GStreamer: the module's graph in one of three modes,
// the feeds the host runs itself, and what "TS Out" gives cut into whole packets.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "feeds/FeedEnumerator.h"
#include "filter/FeedKindTable.h"
#include "gst/ChunkQueue.h"
#include "host/BdaLiveFeed.h"
#include "host/FilterGraph.h"
#include "host/InFlightWindow.h"

enum class SourceMode : int { Live = 0, File = 1, Host = 2 };

struct SourceSettings {
    std::string module;  // empty: the installed module
    SourceMode mode = SourceMode::Live;
    std::string source;
    std::string application;
    std::string tune;
};

class CSATIPFeed;

class KestrelSource {
public:
    // What went wrong, so that the element can post it under the right domain.
    enum class Failure { None, Settings, Module, NotFound, Read, Feed };

    KestrelSource() = default;
    ~KestrelSource() { Stop(); }
    KestrelSource(const KestrelSource&) = delete;
    KestrelSource& operator=(const KestrelSource&) = delete;

    // Builds the graph and starts the stream; on failure everything is undone and
    // Error() says why in one line.
    bool Start(const SourceSettings& settings);
    void Stop();
    // Stops waits in Pop, and the output worker's waits for room, until cleared.
    void SetFlushing(bool flushing) { queue_.SetFlushing(flushing); }
    ChunkQueue::Result Pop(std::vector<uint8_t>* chunk) { return queue_.Pop(chunk); }
    std::string QueueError() const { return queue_.Error(); }

    uint32_t PacketSize() const { return packetSize_.load(); }
    Failure LastFailure() const { return failure_; }
    const std::string& Error() const { return error_; }

    // Chunks held between the output worker and the streaming thread.
    static constexpr size_t kQueuedChunks = 32;

private:
    bool Fail(Failure failure, std::string text);
    bool OpenFile(const std::string& path, bool looping);
    bool StartLive(const SourceSettings& settings);
    bool StartListed(const SourceSettings& settings, int32_t type);
    bool StartTuner(const SourceSettings& settings);
    bool StartNetwork(const SourceSettings& settings, CFeed* feed);
    void PushFile();
    // On the output worker.
    void Take(const uint8_t* data, size_t length);
    void CheckEnd();
    static void DeliverFromFeed(void* context, IMediaSample* sample);
    void WatchServer(CSATIPFeed* feed, const std::string& server);
    void EndWatch();

    ChunkQueue queue_{kQueuedChunks};
    std::unique_ptr<FilterGraph> graph_;
    std::string error_;
    Failure failure_ = Failure::None;
    std::atomic<uint32_t> packetSize_{0};
    std::string path_;  // file and host modes
    std::vector<uint8_t> partial_;  // the packet begun, on the output worker
    std::atomic<uint64_t> taken_{0};
    // Where the stream ends: the file's size, or what host mode pushed once it is done.
    std::atomic<uint64_t> end_{UINT64_MAX};

    CFeedEnumerator enumerator_{ModuleFeedKinds()};
    CFeed* feeds_[CFeedEnumerator::kMaxFeeds] = {};
    CFeed* hostFeed_ = nullptr;  // a network feed the element runs
    std::unique_ptr<BdaLiveFeed> tuner_;  // a tuner the element runs
    // Anew for each run: samples in flight at a stop never come back.
    std::unique_ptr<InFlightWindow> window_;
    std::atomic<bool> stopping_{false};
    std::thread pusher_;
    std::thread watch_;
    std::mutex watchLock_;
    std::condition_variable watchWake_;
    bool watchEnd_ = false;
};
