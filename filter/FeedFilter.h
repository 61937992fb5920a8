#pragma once
#include <atomic>
#include <memory>
#include <mutex>

#include "feeds/FeedEnumerator.h"
#include "filter/SampleQueue.h"
#include "filter/TSFeedInterfaces.h"
#include "platform/graph/CPersistStream.h"
#include "platform/graph/CSource.h"
#include "platform/system/CritSec.h"
#include "platform/system/Event.h"
#include "platform/system/Thread.h"

class CFeedInputPin;
class CFeedOutputPin;

// The graph node "Velmar TS Feed filter": picks where the stream comes from and
// funnels every sample into one queue that the output pin drains.
//
// Threads and what they call:
//   list builder (once, from the constructor; GetPages may run the same step on a host
//     thread): BuildFeedList. Writes the feed list, the names and the selection, then
//     sets listReady_; everything that reads the list waits for that event first, with
//     no lock held.
//   graph control thread: Pause, Stop, Run, GetState. Pause and Stop call the selected
//     feed's SetCallback, Start and Stop; Run from the stopped state calls Pause with the
//     state lock held, so a feed's Start may run under it.
//   host threads: ITSFeedControl, ITSFeedSampleInput, the property page. SetMode starts
//     and stops feeds as Pause and Stop do.
//   queue producers, one at a time by mode: a feed's delivery thread (OnFeedData, modes
//     0 and 1), the upstream streaming thread (Antenna's Receive, mode 2), the host's
//     thread (DeliverSample/DeliverBuffer, mode 3). SetMode stops the running feed before
//     another source takes over. No filter lock is taken on this path.
//   output worker ("TS Out"): FillBuffer pops the queue, takes the discontinuity flag and
//     calls the host data callback. It never takes the state lock: Stop holds that lock
//     while it waits for the worker to end.
//
// Locks, and what they guard:
//   state lock (the base filter's, pStateLock()): state changes; the output pin's type
//     check.
//   pinLock_: the pin pointers (construction, GetPinCount, GetPin).
//   buildLock_: one list build at a time; held across the enumeration, whose own
//     process-wide lock it takes inside, and with it the feed constructors' locks.
//   sourceTextLock_: the source text.
//   hostCallbackLock_: the host callback and its context, read as one pair. Never held
//     while the callback runs, so the callback may call SetDataCallback, and a host may
//     hold its own lock around SetDataCallback and inside the callback.
//   Antenna's own lock: its connection and type operations; the queue's consumer mutex:
//     inside Pop only.
//
// Nesting order (outer first): state lock -> pinLock_; buildLock_ -> enumeration lock
// -> a feed's locks. sourceTextLock_, hostCallbackLock_ and the queue's mutex are
// leaves. No filter lock is held while a feed's Stop or the data callback runs, nor
// while the host callback runs.
//
// SetDataCallback orders calls but does not wait for one: a call that had read the old
// pair may still be running when it returns (waiting would deadlock the host that holds
// its own lock around it). A host that frees the context waits for the graph's Stop,
// which ends the worker, or for its own sign from the callback. The host callback must
// not stop or pause the graph: that waits for the worker it runs on.
class CFeedFilter : public CSource,
                    public CPersistStream,
                    public ISpecifyPropertyPages,
                    public ITSFeedControl,
                    public ITSFeedSampleInput {
public:
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);
    ~CFeedFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Graph operations
    HRESULT GetClassID(CLSID* clsid) override;
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    HRESULT GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    HRESULT Pause() override;
    HRESULT Stop() override;

    // ISpecifyPropertyPages
    HRESULT GetPages(CAUUID* pages) override;

    // ITSFeedControl
    bool GetFeedInfo(uint32_t index, int32_t* type, const char** name, const char** details) override;
    HRESULT GetMode(uint32_t* mode, char* text) override;
    HRESULT SetMode(uint32_t mode, const char* text) override;
    HRESULT Tune(const TuningParameters* params) override;
    HRESULT SetDataCallback(void* context, HostDataCallback callback) override;
    int32_t IsLocked() override;
    uint16_t GetSignalLevel() override;
    int32_t GetFeedType() override;
    bool SendDiseqcMessage(const uint8_t* message, uint32_t length) override;
    bool SetMuted(bool muted) override;

    // ITSFeedSampleInput
    void DeliverSample(IMediaSample* sample) override;
    void DeliverBuffer(const uint8_t* data, uint32_t length) override;
    void SetDiscontinuity() override;
    void SetPid(uint16_t pid) override;

    // Used by the pins.
    uint32_t Mode() const { return mode_.load(std::memory_order_acquire); }
    CSampleQueue* Queue() const { return queue_.get(); }
    bool TakeDiscontinuity() { return discontinuity_.exchange(false, std::memory_order_acq_rel); }
    void CallHostDataCallback(const uint8_t* data, int32_t length);
    // The feeds' delivery path; the input pin uses it too. Releases the sample once.
    static void OnFeedData(void* context, IMediaSample* sample);

    // Runs the enumeration on the calling thread unless the list exists.
    void BuildFeedList();
    // The display name held for feed-list entry index; null for an empty entry and
    // while the list is still being built.
    const char* ListedFeedName(uint32_t index) const {
        if (index >= CFeedEnumerator::kMaxFeeds || !listReady_.IsSet() || !feeds_[index]) return nullptr;
        return feedNames_[index];
    }

protected:
    // CPersistStream
    HRESULT WriteToStream(IStream* stream) override;
    HRESULT ReadFromStream(IStream* stream) override;
    int SizeMax() override;

private:
    CFeedFilter(IUnknown* outer, HRESULT* phr);

    void WaitListReady() { listReady_.Wait(INFINITE); }
    CFeed* SelectedFeed() const;
    void StopStartedFeed();
    void SetUpFileFeeds(const char* fileName, bool start);
    void SetSourceText(const char* text);

    ModuleObjectCount moduleCount_;
    CFeed* feeds_[CFeedEnumerator::kMaxFeeds] = {};
    char feedNames_[CFeedEnumerator::kMaxFeeds][kSourceTextSize] = {};
    std::atomic<uint32_t> selected_{0};
    std::unique_ptr<CSampleQueue> queue_;
    CCritSec pinLock_;
    CFeedOutputPin* outputPin_ = nullptr;
    CFeedInputPin* inputPin_ = nullptr;
    std::atomic<bool> started_{false};
    std::atomic<bool> muted_{false};
    std::atomic<uint16_t> pid_{0x1FFF};
    std::atomic<bool> discontinuity_{false};
    std::atomic<uint32_t> mode_{kModeLiveFeed};
    mutable std::mutex sourceTextLock_;
    char sourceText_[kSourceTextSize] = {};
    Event listReady_{true, false};
    std::mutex hostCallbackLock_;
    HostDataCallback hostCallback_ = nullptr;
    void* hostContext_ = nullptr;

    std::mutex buildLock_;
    CFeedEnumerator enumerator_;
    Thread listBuilder_;
};

// Shared by the module's class factories and DllCanUnloadNow.
ModuleCounts& KestrelModuleCounts();
