#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "host/KestrelModule.h"
#include "platform/graph/CSampleSinkFilter.h"

// The graph every host of the module builds: the filter from the loaded module, and a
// sink on "TS Out" that hands what arrives to the host; optionally an upstream source
// on "Antenna".
class FilterGraph {
public:
    // Called on the filter's output worker with the bytes of one sample.
    using Receiver = std::function<void(const uint8_t* data, size_t length)>;

    FilterGraph() = default;
    ~FilterGraph() { Stop(); }
    FilterGraph(const FilterGraph&) = delete;
    FilterGraph& operator=(const FilterGraph&) = delete;

    // Loads the module (an empty path: KestrelModule::DefaultPath()), creates the filter
    // and the graph and connects "TS Out" to the sink.
    bool Create(const std::string& modulePath, Receiver receiver, std::string* error);
    // Adds a source filter and connects its output pin to "Antenna".
    bool ConnectUpstream(IBaseFilter* source, std::string* error);
    bool Run(std::string* error);
    // Stops the graph and any feed the filter runs; the receiver is not called after.
    void Stop();

    bool Running() const { return running_; }
    ITSFeedControl* Control() const { return control_.Get(); }
    ITSFeedSampleInput* Input() const { return input_.Get(); }

private:
    // Declared first so that it outlives everything that may still run the module's code.
    KestrelModule module_;
    ComPtr<IBaseFilter> filter_;
    ComPtr<ITSFeedControl> control_;
    ComPtr<ITSFeedSampleInput> input_;
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaControl> mediaControl_;
    ComPtr<CSampleSinkFilter> sink_;
    bool running_ = false;
};
