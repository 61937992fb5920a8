#include "filter/FeedFilter.h"

#include <cstring>
#include <new>
#include <string_view>

#include "feeds/FileFeedSetup.h"
#include "feeds/file/StreamAnalysis.h"
#include "filter/FeedKindTable.h"
#include "filter/FeedInputPin.h"
#include "filter/FeedOutputPin.h"
#include "platform/com/TaskMemory.h"
#include "platform/ui/DialogApi.h"

namespace {
constexpr const char* kOutOfMemoryText = "Out of memory";
constexpr const char* kCriticalErrorCaption = "Critical error";
}  // namespace

ModuleCounts& KestrelModuleCounts() {
    static ModuleCounts counts;
    return counts;
}

CUnknown* CFeedFilter::CreateInstance(IUnknown* outer, HRESULT* phr) {
    CFeedFilter* filter = new (std::nothrow) CFeedFilter(outer, phr);
    if (!filter && phr) *phr = E_OUTOFMEMORY;
    return filter;
}

CFeedFilter::CFeedFilter(IUnknown* outer, HRESULT* phr)
    : CSource("filter", outer, CLSID_TSFeedFilter, phr),
      CPersistStream(GetOwner(), phr),
      moduleCount_(KestrelModuleCounts()),
      enumerator_(ModuleFeedKinds()) {
    // The output pin enters itself in the source filter's list under the state lock;
    // the pins are made before the pin lock is taken, so that the pin lock is only
    // ever taken inside the state lock, as the graph's state changes take them.
    auto* input = new (std::nothrow) CFeedInputPin(this, phr);
    auto* output = new (std::nothrow) CFeedOutputPin(this, phr);
    {
        CAutoLock lock(&pinLock_);
        inputPin_ = input;
        outputPin_ = output;
        if ((!inputPin_ || !outputPin_) && phr) *phr = E_OUTOFMEMORY;
        queue_ = CSampleQueue::Create();
        if (!queue_) MessageBoxA(nullptr, kOutOfMemoryText, kCriticalErrorCaption, MB_OK | MB_ICONSTOP);
    }
    listBuilder_.Start([this] { BuildFeedList(); }, "FeedListBuilder");
}

CFeedFilter::~CFeedFilter() {
    // The builder touches the feed list and the event: it must be done before they go.
    listBuilder_.Join();
    delete inputPin_;
    delete outputPin_;
    enumerator_.DestroyAllFeeds();
    queue_.reset();
}

HRESULT CFeedFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    HRESULT hr = CSource::NonDelegatingQueryInterface(riid, ppv);
    if (hr != E_NOINTERFACE) return hr;
    if (riid == CLSID_TSFeedFilter) {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    if (riid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    if (riid == IID_IPersistStream) return GetInterface(static_cast<IPersistStream*>(this), ppv);
    if (riid == IID_ITSFeedControl) return GetInterface(static_cast<ITSFeedControl*>(this), ppv);
    if (riid == IID_ITSFeedSampleInput) return GetInterface(static_cast<ITSFeedSampleInput*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CFeedFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_TSFeedFilter;
    return S_OK;
}

int CFeedFilter::GetPinCount() {
    CAutoLock lock(&pinLock_);
    return (outputPin_ ? 1 : 0) + (inputPin_ ? 1 : 0);
}

CBasePin* CFeedFilter::GetPin(int n) {
    CAutoLock lock(&pinLock_);
    if (n == 0) return outputPin_;
    if (n == 1) return inputPin_;
    return nullptr;
}

HRESULT CFeedFilter::GetState(DWORD /*timeoutMs*/, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = m_State;
    return m_State == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

CFeed* CFeedFilter::SelectedFeed() const {
    uint32_t index = selected_.load(std::memory_order_acquire);
    return index < CFeedEnumerator::kMaxFeeds ? feeds_[index] : nullptr;
}

void CFeedFilter::StopStartedFeed() {
    if (started_.exchange(false)) {
        if (CFeed* feed = SelectedFeed()) feed->Stop();
    }
}

void CFeedFilter::BuildFeedList() {
    std::lock_guard<std::mutex> guard(buildLock_);
    if (Mode() != kModeHostSupplied) {
        if (feeds_[0]) return;
        uint32_t count = CFeedEnumerator::kMaxFeeds;
        FeedRequest request = FeedRequest::For({kFeedFile});
        // Another filter's enumeration may have kept this one waiting; a host that set
        // the host-supplied mode meanwhile still skips it.
        request.abandon = [this] { return Mode() == kModeHostSupplied; };
        enumerator_.Enumerate(feeds_, &count, request);
        for (uint32_t i = 0; i < count; ++i) {
            std::strncpy(feedNames_[i], feeds_[i]->GetName(), kSourceTextSize - 1);
            feedNames_[i][kSourceTextSize - 1] = '\0';
        }
    }
    selected_.store(0, std::memory_order_release);
    listReady_.Set();
}

void CFeedFilter::SetUpFileFeeds(const char* fileName, bool start) {
    // The measurement gets the name widened byte by byte, without the loop marker.
    std::u16string wide;
    for (const char* p = fileName; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
    size_t marker = std::string_view(fileName).find(kFileLoopMarker);
    if (marker != std::u16string::npos) wide.resize(marker);

    for (uint32_t i = 0; i < CFeedEnumerator::kMaxFeeds; ++i) {
        CFeed* feed = feeds_[i];
        if (!feed || feed->GetType() != kFeedFile) continue;
        // A plug-in object that reports the file type is not a file feed of ours.
        IFileFeedSetup* file = IFileFeedSetup::FromExtension(feed->GetExtension());
        if (!file) continue;
        file->SetFileName(fileName);
        uint32_t bitrate = MeasureFileBitrate(wide.c_str());
        file->SetBitrate(bitrate ? bitrate : kUnmeasuredFileBitrate);
        file->SetLoop(true);
        selected_.store(i, std::memory_order_release);
        feed->SetCallback(this, &CFeedFilter::OnFeedData);
        if (start) {
            feed->Start(0);
            started_.store(true);
        }
    }
}

HRESULT CFeedFilter::Pause() {
    uint32_t mode = Mode();
    if (mode == kModeFile && !started_.load()) {
        WaitListReady();
        char text[kSourceTextSize];
        GetMode(nullptr, text);
        SetUpFileFeeds(text, false);
    }
    if (mode == kModeHostSupplied) return CSource::Pause();
    HRESULT hr = CSource::Pause();
    if (hr != S_OK) return hr;
    if (started_.load()) return hr;
    WaitListReady();
    CFeed* feed = SelectedFeed();
    if (!feed) return S_FALSE;
    if (mode != kModeLiveFeed && mode != kModeFile) return hr;
    feed->SetCallback(this, &CFeedFilter::OnFeedData);
    feed->Start(0);
    started_.store(true);
    return hr;
}

HRESULT CFeedFilter::Stop() {
    uint32_t mode = Mode();
    if (mode == kModeHostSupplied) return CSource::Stop();
    HRESULT hr = CSource::Stop();
    if (hr != S_OK) return hr;
    if ((mode == kModeLiveFeed || mode == kModeFile) && SelectedFeed()) StopStartedFeed();
    return hr;
}

HRESULT CFeedFilter::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->cElems = 1;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->pElems[0] = CLSID_TSFeedPropertyPage;
    BuildFeedList();
    return S_OK;
}

bool CFeedFilter::GetFeedInfo(uint32_t index, int32_t* type, const char** name, const char** details) {
    if (index >= CFeedEnumerator::kMaxFeeds) return false;
    WaitListReady();
    CFeed* feed = feeds_[index];
    if (!feed || !type || !name || !details) return false;
    *type = feed->GetType();
    *name = feed->GetName();
    *details = feed->GetDetails();
    return true;
}

HRESULT CFeedFilter::GetMode(uint32_t* mode, char* text) {
    if (mode) *mode = Mode();
    if (text) {
        std::lock_guard<std::mutex> guard(sourceTextLock_);
        std::memcpy(text, sourceText_, kSourceTextSize);
    }
    return S_OK;
}

void CFeedFilter::SetSourceText(const char* text) {
    std::lock_guard<std::mutex> guard(sourceTextLock_);
    std::memset(sourceText_, 0, kSourceTextSize);
    if (text) std::strncpy(sourceText_, text, kSourceTextSize - 1);
}

HRESULT CFeedFilter::SetMode(uint32_t mode, const char* text) {
    mode_.store(mode, std::memory_order_release);
    WaitListReady();
    const char* wanted = text ? text : "";
    StopStartedFeed();
    if (mode == kModeLiveFeed) {
        for (uint32_t i = 0; i < CFeedEnumerator::kMaxFeeds; ++i) {
            if (feeds_[i] && std::strcmp(feedNames_[i], wanted) == 0) {
                selected_.store(i, std::memory_order_release);
                feeds_[i]->SetCallback(this, &CFeedFilter::OnFeedData);
                feeds_[i]->Start(0);
                started_.store(true);
                break;
            }
        }
    } else if (mode == kModeFile) {
        SetUpFileFeeds(wanted, true);
    }
    SetSourceText(text);
    return S_OK;
}

HRESULT CFeedFilter::Tune(const TuningParameters* params) {
    WaitListReady();
    uint32_t mode = Mode();
    CFeed* feed = SelectedFeed();
    if ((mode == kModeLiveFeed || mode == kModeFile) && feed) return feed->Tune(params) ? S_OK : S_FALSE;
    return S_OK;
}

HRESULT CFeedFilter::SetDataCallback(void* context, HostDataCallback callback) {
    std::lock_guard<std::mutex> guard(hostCallbackLock_);
    hostContext_ = context;
    hostCallback_ = callback;
    return S_OK;
}

void CFeedFilter::CallHostDataCallback(const uint8_t* data, int32_t length) {
    HostDataCallback callback;
    void* context;
    {
        std::lock_guard<std::mutex> guard(hostCallbackLock_);
        callback = hostCallback_;
        context = hostContext_;
    }
    // Outside the lock: the callback may call SetDataCallback, or take a lock of the
    // host's that the host also holds around SetDataCallback.
    if (callback) callback(context, data, length);
}

int32_t CFeedFilter::IsLocked() {
    WaitListReady();
    uint32_t mode = Mode();
    CFeed* feed = SelectedFeed();
    if ((mode == kModeLiveFeed || mode == kModeFile) && feed) return (feed->GetStatus() & kStatusLocked) ? 1 : 0;
    return 1;
}

uint16_t CFeedFilter::GetSignalLevel() {
    WaitListReady();
    uint32_t mode = Mode();
    CFeed* feed = SelectedFeed();
    if ((mode == kModeLiveFeed || mode == kModeFile) && feed) return feed->GetSignalLevel();
    return IsLocked() == 1 ? 65535 : 0;
}

int32_t CFeedFilter::GetFeedType() {
    WaitListReady();
    switch (Mode()) {
        case kModeLiveFeed: {
            CFeed* feed = SelectedFeed();
            return feed ? feed->GetType() : kFeedNone;
        }
        case kModeFile: return kFeedFile;
        case kModeHostSupplied: return kFeedHostStream;
        default: return kFeedNone;
    }
}

bool CFeedFilter::SendDiseqcMessage(const uint8_t* message, uint32_t length) {
    WaitListReady();
    CFeed* feed = SelectedFeed();
    if (Mode() == kModeLiveFeed && feed) return feed->SendDiseqcMessage(message, length);
    return false;
}

bool CFeedFilter::SetMuted(bool muted) {
    muted_.store(muted, std::memory_order_relaxed);
    return true;
}

void CFeedFilter::DeliverSample(IMediaSample* sample) {
    if (queue_ && sample) queue_->Push(sample);
}

void CFeedFilter::DeliverBuffer(const uint8_t* data, uint32_t length) {
    if (queue_ && (data || length == 0)) queue_->Push(data, length, nullptr, nullptr);
}

void CFeedFilter::SetDiscontinuity() { discontinuity_.store(true, std::memory_order_release); }

void CFeedFilter::SetPid(uint16_t pid) { pid_.store(pid, std::memory_order_relaxed); }

void CFeedFilter::OnFeedData(void* context, IMediaSample* sample) {
    auto* filter = static_cast<CFeedFilter*>(context);
    if (filter->queue_ && !filter->muted_.load(std::memory_order_relaxed)) filter->queue_->Push(sample);
    sample->Release();
}

HRESULT CFeedFilter::WriteToStream(IStream* stream) {
    uint8_t data[4 + kSourceTextSize];
    uint32_t mode = 0;
    GetMode(&mode, reinterpret_cast<char*>(data + 4));
    for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(mode >> (8 * i));
    ULONG written = 0;
    HRESULT hr = stream->Write(data, sizeof data, &written);
    if (FAILED(hr)) return hr;
    return written == sizeof data ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT CFeedFilter::ReadFromStream(IStream* stream) {
    uint8_t data[4 + kSourceTextSize];
    ULONG read = 0;
    HRESULT hr = stream->Read(data, sizeof data, &read);
    if (FAILED(hr)) return hr;
    if (read != sizeof data) return STG_E_READFAULT;
    uint32_t mode = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
    mode_.store(mode, std::memory_order_release);
    std::lock_guard<std::mutex> guard(sourceTextLock_);
    std::memcpy(sourceText_, data + 4, kSourceTextSize);
    sourceText_[kSourceTextSize - 1] = '\0';
    return S_OK;
}

int CFeedFilter::SizeMax() { return 4 + static_cast<int>(kSourceTextSize); }
