#pragma once
// The filter graph: holds filters under unique names, connects their pins directly,
// and moves them through stopped, paused and running, downstream filters first (a
// renderer is ready before its source starts pushing, and stops taking samples before
// its source stops). Renderers report end of stream through IMediaEventSink;
// WaitForCompletion returns once every renderer has.
#include "platform/com/Unknown.h"
#include "platform/graph/Interfaces.h"
#include "platform/graph/MediaEventSink.h"
#include "platform/system/CritSec.h"
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CFilterGraph final : public CUnknown, public IGraphBuilder, public IMediaControl, public IMediaEventSink {
public:
    explicit CFilterGraph(IUnknown* outer);
    ~CFilterGraph() override;
    // Creation function for the class table.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph
    // A missing name becomes "Filter"; a name already taken gets " 0001", " 0002", ...
    // appended, with VFW_S_DUPLICATE_NAME. Names are cut to 127 characters.
    HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    // Disconnects all the filter's pins; the graph must be stopped (VFW_E_NOT_STOPPED).
    HRESULT RemoveFilter(IBaseFilter* pFilter) override;
    HRESULT EnumFilters(IEnumFilters** ppEnum) override;
    HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    // Both pins' filters must be in this graph (VFW_E_NOT_IN_GRAPH) and the graph
    // stopped (VFW_E_NOT_STOPPED).
    HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Reconnect(IPin* ppin) override;
    // Disconnects this one pin; the caller disconnects its peer too.
    HRESULT Disconnect(IPin* ppin) override;
    HRESULT SetDefaultSyncSource() override;

    // IGraphBuilder
    // Directly, or else through up to three filters registered with the filter mapper
    // (merit above MERIT_DO_NOT_USE, an input that takes one of the output's types),
    // highest merit first; a filter that does not complete the chain is removed again.
    // VFW_E_CANNOT_CONNECT when nothing fits.
    HRESULT Connect(IPin* ppinOut, IPin* ppinIn) override;
    // Connects the output to registered filters as Connect does, and their outputs in
    // turn, until filters without outputs end every branch; VFW_S_PARTIAL_RENDER when
    // some branches stay open, VFW_E_CANNOT_RENDER when nothing fits.
    HRESULT Render(IPin* ppinOut) override;
    HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
    HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) override;
    // hFile is an open POSIX file descriptor (duplicated here), 0 turns the trace off.
    // Lines go there as UTF-16LE ending in CR LF, the encoding of the logs that hand
    // their file over.
    HRESULT SetLogFile(DWORD_PTR hFile) override;
    HRESULT Abort() override;
    HRESULT ShouldOperationContinue() override;

    // IMediaControl. Without a clock, filters run with start time 0.
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    // VFW_S_STATE_INTERMEDIATE or VFW_S_CANT_CUE when a filter reports it.
    HRESULT GetState(LONG msTimeout, OAFilterState* pfs) override;
    HRESULT RenderFile(BSTR strFilename) override;
    HRESULT AddSourceFilter(BSTR strFilename, IUnknown** ppUnk) override;
    HRESULT get_FilterCollection(IUnknown** ppUnk) override;
    HRESULT get_RegFilterCollection(IUnknown** ppUnk) override;
    HRESULT StopWhenReady() override;

    // IMediaEventSink: EC_COMPLETE from each renderer, or an abort event, completes
    // the stream.
    HRESULT Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) override;

    // S_OK with EC_COMPLETE (or the abort event that ended the stream); E_ABORT on
    // timeout; VFW_E_WRONG_STATE when the graph is stopped or stops while waiting.
    HRESULT WaitForCompletion(DWORD timeoutMs, long* eventCode);

    // Appends one UTF-8 line per connection attempt to the file (created if needed); an
    // empty path turns the trace off.
    HRESULT SetTraceFile(const std::string& path);

private:
    struct Entry {
        ComPtr<IBaseFilter> filter;
        std::u16string name;
    };

    int IndexOf(IBaseFilter* filter) const;  // under lock_
    int IndexOfPinOwner(IPin* pin) const;    // under lock_
    std::u16string UniqueName(LPCWSTR requested, bool* renamed) const;
    // Downstream filters before the filters that feed them; filters in a loop keep
    // the order they were added in.
    std::vector<IBaseFilter*> DownstreamFirst() const;
    std::set<LONG_PTR> Renderers() const;
    HRESULT PauseLocked();
    // Stops every filter, even after a failure, and returns the first failure.
    HRESULT StopAllLocked();
    void DisconnectAll(IBaseFilter* filter);
    HRESULT TracedConnect(const char* operation, IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt);
    // The caller's mistakes that no intermediate filter can mend, else S_OK.
    HRESULT CheckBuildRequest(IPin* out, IPin* in);
    // Registered filters that may take what the output offers, best first.
    std::vector<ComPtr<IMoniker>> Candidates(IPin* out);
    // Adds a candidate and connects out to one of its inputs; null when that fails
    // (the candidate is gone from the graph again).
    ComPtr<IBaseFilter> Insert(IMoniker* candidate, IPin* out, std::vector<CLSID>& chain, std::string* name);
    void Discard(IBaseFilter* filter, const std::string& name, const char* operation);
    HRESULT ConnectThrough(IPin* out, IPin* in, std::vector<CLSID>& chain);
    HRESULT RenderThrough(IPin* out, std::vector<CLSID>& chain);
    void Trace(const std::string& line);

    CCritSec lock_;  // filters and state
    std::vector<Entry> filters_;
    // Filters that a Connect or Render in progress added and may take out again.
    std::set<IBaseFilter*> insertedByBuild_;
    FILTER_STATE state_ = State_Stopped;

    // Completion of the current stream; the streaming threads report here, so this
    // never waits for lock_.
    std::mutex eventMutex_;
    std::condition_variable eventChanged_;
    bool streaming_ = false;
    unsigned long streamNumber_ = 0;
    std::set<LONG_PTR> renderers_;
    std::set<LONG_PTR> completed_;
    size_t anonymousCompletions_ = 0;
    long endCode_ = 0;

    std::mutex traceMutex_;
    int traceFd_ = -1;
    bool traceWide_ = false;
};
