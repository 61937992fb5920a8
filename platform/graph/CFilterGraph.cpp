#include "platform/graph/CFilterGraph.h"
#include "platform/graph/CEnumFilterList.h"
#include "platform/graph/CFilterMapper2.h"
#include "platform/graph/CFilterMoniker.h"
#include "platform/graph/CMediaType.h"
#include "platform/com/WideString.h"
#include "platform/system/Wait.h"
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace {

constexpr char16_t kDefaultFilterName[] = u"Filter";
constexpr size_t kMaxName = MAX_FILTER_NAME - 1;
// Intermediate filters one intelligent connection or render may chain.
constexpr size_t kMaxIntermediates = 3;

// Identity of a COM object: its IUnknown.
IUnknown* Identity(IUnknown* p) {
    if (!p) return nullptr;
    IUnknown* unk = nullptr;
    if (FAILED(p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk))) || !unk) return p;
    unk->Release();  // the object stays alive through p
    return unk;
}

ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
    ComPtr<IBaseFilter> owner;
    PIN_INFO info{};
    if (pin && SUCCEEDED(pin->QueryPinInfo(&info))) owner.Attach(info.pFilter);
    return owner;
}

// Everything an enumerator still has to give.
template <class Item, class Enum>
std::vector<ComPtr<Item>> Drain(Enum* e) {
    std::vector<ComPtr<Item>> items;
    Item* item = nullptr;
    while (e && e->Next(1, &item, nullptr) == S_OK && item) {
        ComPtr<Item> p;
        p.Attach(item);
        items.push_back(std::move(p));
        item = nullptr;
    }
    return items;
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
    ComPtr<IEnumPins> e;
    if (FAILED(filter->EnumPins(e.ReleaseAndGetAddressOf()))) return {};
    return Drain<IPin>(e.Get());
}

bool IsDirection(IPin* pin, PIN_DIRECTION wanted) {
    PIN_DIRECTION dir;
    return SUCCEEDED(pin->QueryDirection(&dir)) && dir == wanted;
}

ComPtr<IPin> PeerOf(IPin* pin) {
    ComPtr<IPin> peer;
    if (pin->ConnectedTo(peer.ReleaseAndGetAddressOf()) != S_OK) peer.Reset();
    return peer;
}

std::string PinLabel(IPin* pin) {
    if (!pin) return "(none)";
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) return "(unknown pin)";
    std::string filterName = "(no filter)";
    if (info.pFilter) {
        FILTER_INFO fi{};
        if (SUCCEEDED(info.pFilter->QueryFilterInfo(&fi))) {
            filterName = WideToUtf8(fi.achName);
            if (fi.pGraph) fi.pGraph->Release();
        }
        info.pFilter->Release();
    }
    return "\"" + filterName + "\":\"" + WideToUtf8(info.achName) + "\"";
}

std::string TypeLabel(const AM_MEDIA_TYPE* mt) {
    if (!mt) return "any type";
    return GuidToString(mt->majortype) + " " + GuidToString(mt->subtype) + " " + GuidToString(mt->formattype);
}

std::string ResultLabel(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

}  // namespace

CFilterGraph::CFilterGraph(IUnknown* outer) : CUnknown("Filter graph", outer) {}

CFilterGraph::~CFilterGraph() {
    {
        CAutoLock lock(&lock_);
        StopAllLocked();
        // Connected pins hold their peers, and so each other's filters: only
        // disconnecting lets the filters go.
        for (Entry& e : filters_) DisconnectAll(e.filter.Get());
        for (Entry& e : filters_) e.filter->JoinFilterGraph(nullptr, nullptr);
        filters_.clear();
    }
    if (traceFd_ >= 0) ::close(traceFd_);
}

CUnknown* CFilterGraph::CreateInstance(IUnknown* outer, HRESULT* phr) {
    auto* graph = new (std::nothrow) CFilterGraph(outer);
    if (!graph && phr) *phr = E_OUTOFMEMORY;
    return graph;
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IFilterGraph || riid == IID_IGraphBuilder)
        return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
    if (riid == IID_IMediaControl) return GetInterface(static_cast<IMediaControl*>(this), ppv);
    if (riid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

// ---------------------------------------------------------------------------------------
// Filters

int CFilterGraph::IndexOf(IBaseFilter* filter) const {
    IUnknown* id = Identity(filter);
    for (size_t i = 0; i < filters_.size(); ++i)
        if (filters_[i].filter.Get() == filter || Identity(filters_[i].filter.Get()) == id) return static_cast<int>(i);
    return -1;
}

int CFilterGraph::IndexOfPinOwner(IPin* pin) const {
    ComPtr<IBaseFilter> owner = OwnerOf(pin);
    return owner ? IndexOf(owner.Get()) : -1;
}

std::u16string CFilterGraph::UniqueName(LPCWSTR requested, bool* renamed) const {
    std::u16string base = requested && *requested ? std::u16string(requested) : std::u16string(kDefaultFilterName);
    if (base.size() > kMaxName) base.resize(kMaxName);
    auto taken = [this](const std::u16string& name) {
        for (const Entry& e : filters_)
            if (e.name == name) return true;
        return false;
    };
    *renamed = false;
    if (!taken(base)) return base;
    *renamed = true;
    for (unsigned n = 1;; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, " %04u", n);
        std::u16string tail = WideFromUtf8(suffix);
        std::u16string name = base.substr(0, kMaxName - tail.size()) + tail;
        if (!taken(name)) return name;
    }
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
    if (!pFilter) return E_POINTER;
    // Held before anything else touches it: a caller that kept no reference of its
    // own must not see the object go away under the identity check.
    ComPtr<IBaseFilter> hold(pFilter);
    CAutoLock lock(&lock_);
    if (IndexOf(pFilter) >= 0) return E_INVALIDARG;
    bool renamed = false;
    std::u16string name = UniqueName(pName, &renamed);
    HRESULT hr = pFilter->JoinFilterGraph(this, name.c_str());
    if (FAILED(hr)) return hr;
    filters_.push_back(Entry{std::move(hold), name});
    // A name given by the caller that had to change is worth a warning; a default one
    // is not.
    return renamed && pName && *pName ? VFW_S_DUPLICATE_NAME : S_OK;
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* pFilter) {
    if (!pFilter) return E_POINTER;
    CAutoLock lock(&lock_);
    int index = IndexOf(pFilter);
    if (index < 0) return VFW_E_NOT_FOUND;
    // Pins refuse to disconnect while streaming.
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    ComPtr<IBaseFilter> filter = filters_[index].filter;
    DisconnectAll(filter.Get());
    filter->JoinFilterGraph(nullptr, nullptr);
    filters_.erase(filters_.begin() + index);
    return S_OK;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    std::vector<ComPtr<IBaseFilter>> snapshot;
    {
        CAutoLock lock(&lock_);
        for (const Entry& e : filters_) snapshot.push_back(e.filter);
    }
    auto* e = new (std::nothrow) CEnumFilterList(std::move(snapshot));
    if (!e) return E_OUTOFMEMORY;
    return e->NonDelegatingQueryInterface(IID_IEnumFilters, reinterpret_cast<void**>(ppEnum));
}

HRESULT CFilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) {
    if (!pName || !ppFilter) return E_POINTER;
    *ppFilter = nullptr;
    CAutoLock lock(&lock_);
    for (const Entry& e : filters_) {
        if (e.name == pName) {
            *ppFilter = e.filter.Get();
            (*ppFilter)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

void CFilterGraph::DisconnectAll(IBaseFilter* filter) {
    for (ComPtr<IPin>& pin : PinsOf(filter)) {
        if (ComPtr<IPin> peer = PeerOf(pin.Get())) {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
}

// ---------------------------------------------------------------------------------------
// Connections

HRESULT CFilterGraph::TracedConnect(const char* operation, IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt) {
    HRESULT hr = S_OK;
    {
        CAutoLock lock(&lock_);
        if (!out || !in)
            hr = E_POINTER;
        else if (IndexOfPinOwner(out) < 0 || IndexOfPinOwner(in) < 0)
            hr = VFW_E_NOT_IN_GRAPH;
        else if (state_ != State_Stopped)
            hr = VFW_E_NOT_STOPPED;
        else if (!IsDirection(out, PINDIR_OUTPUT) || !IsDirection(in, PINDIR_INPUT))
            hr = VFW_E_INVALID_DIRECTION;
        else
            hr = out->Connect(in, pmt);
    }
    std::string line = std::string(operation) + " " + PinLabel(out) + " -> " + PinLabel(in) + " (" +
                       TypeLabel(pmt) + ") = " + ResultLabel(hr);
    if (SUCCEEDED(hr)) {
        AM_MEDIA_TYPE agreed{};
        if (SUCCEEDED(out->ConnectionMediaType(&agreed))) {
            line += ", connected with " + TypeLabel(&agreed);
            FreeMediaType(agreed);
        }
    }
    Trace(line);
    return hr;
}

HRESULT CFilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
    return TracedConnect("ConnectDirect", ppinOut, ppinIn, pmt);
}

HRESULT CFilterGraph::CheckBuildRequest(IPin* out, IPin* in) {
    if (!out) return E_POINTER;
    CAutoLock lock(&lock_);
    if (IndexOfPinOwner(out) < 0 || (in && IndexOfPinOwner(in) < 0)) return VFW_E_NOT_IN_GRAPH;
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!IsDirection(out, PINDIR_OUTPUT) || (in && !IsDirection(in, PINDIR_INPUT))) return VFW_E_INVALID_DIRECTION;
    if (PeerOf(out) || (in && PeerOf(in))) return VFW_E_ALREADY_CONNECTED;
    return S_OK;
}

std::vector<ComPtr<IMoniker>> CFilterGraph::Candidates(IPin* out) {
    std::vector<GUID> types;  // major, subtype pairs
    ComPtr<IEnumMediaTypes> e;
    if (SUCCEEDED(out->EnumMediaTypes(e.ReleaseAndGetAddressOf())) && e) {
        AM_MEDIA_TYPE* mt = nullptr;
        while (e->Next(1, &mt, nullptr) == S_OK && mt) {
            types.push_back(mt->majortype);
            types.push_back(mt->subtype);
            DeleteMediaType(mt);
            mt = nullptr;
        }
    }
    CFilterMapper2 mapper(nullptr);
    mapper.NonDelegatingAddRef();
    ComPtr<IEnumMoniker> list;
    HRESULT hr = mapper.EnumMatchingFilters(list.ReleaseAndGetAddressOf(), 0, FALSE, MERIT_DO_NOT_USE + 1, TRUE,
                                            static_cast<DWORD>(types.size() / 2), types.data(), nullptr, nullptr,
                                            FALSE, FALSE, 0, nullptr, nullptr, nullptr);
    return SUCCEEDED(hr) ? Drain<IMoniker>(list.Get()) : std::vector<ComPtr<IMoniker>>{};
}

ComPtr<IBaseFilter> CFilterGraph::Insert(IMoniker* candidate, IPin* out, std::vector<CLSID>& chain, std::string* name) {
    CFilterMoniker* registration = CFilterMoniker::FromMoniker(candidate);
    if (!registration) return nullptr;
    *name = WideToUtf8(registration->FriendlyName());
    // A filter already in this chain would only repeat what failed before.
    for (const CLSID& c : chain)
        if (c == registration->Clsid()) return nullptr;
    ComPtr<IBaseFilter> filter;
    HRESULT hr = candidate->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                         reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()));
    Trace("  trying \"" + *name + "\" " + GuidToString(registration->Clsid()) +
          (FAILED(hr) ? " = " + ResultLabel(hr) + ", cannot be created" : ""));
    if (FAILED(hr) || !filter) return nullptr;
    if (FAILED(AddFilter(filter.Get(), registration->FriendlyName().c_str()))) return nullptr;
    for (const ComPtr<IPin>& pin : PinsOf(filter.Get())) {
        if (!IsDirection(pin.Get(), PINDIR_INPUT) || PeerOf(pin.Get())) continue;
        if (SUCCEEDED(TracedConnect("  ConnectDirect", out, pin.Get(), nullptr))) {
            chain.push_back(registration->Clsid());
            return filter;
        }
    }
    Discard(filter.Get(), *name, "  removed");
    return nullptr;
}

void CFilterGraph::Discard(IBaseFilter* filter, const std::string& name, const char* operation) {
    // Whatever the filter connected downstream goes with it.
    for (const ComPtr<IPin>& pin : PinsOf(filter)) {
        if (!IsDirection(pin.Get(), PINDIR_OUTPUT)) continue;
        ComPtr<IPin> peer = PeerOf(pin.Get());
        if (!peer) continue;
        ComPtr<IBaseFilter> next = OwnerOf(peer.Get());
        FILTER_INFO info{};
        std::string nextName;
        if (next && SUCCEEDED(next->QueryFilterInfo(&info))) {
            nextName = WideToUtf8(info.achName);
            if (info.pGraph) info.pGraph->Release();
        }
        bool inserted = false;
        {
            CAutoLock lock(&lock_);
            int index = next ? IndexOf(next.Get()) : -1;
            inserted = index >= 0 && insertedByBuild_.count(next.Get()) != 0;
        }
        if (inserted)
            Discard(next.Get(), nextName, operation);
        else {
            pin->Disconnect();
            peer->Disconnect();
        }
    }
    {
        CAutoLock lock(&lock_);
        insertedByBuild_.erase(filter);
    }
    RemoveFilter(filter);
    Trace(std::string(operation) + " \"" + name + "\"");
}

HRESULT CFilterGraph::ConnectThrough(IPin* out, IPin* in, std::vector<CLSID>& chain) {
    if (chain.size() >= kMaxIntermediates) return VFW_E_CANNOT_CONNECT;
    for (const ComPtr<IMoniker>& candidate : Candidates(out)) {
        std::string name;
        ComPtr<IBaseFilter> filter = Insert(candidate.Get(), out, chain, &name);
        if (!filter) continue;
        {
            CAutoLock lock(&lock_);
            insertedByBuild_.insert(filter.Get());
        }
        for (const ComPtr<IPin>& next : PinsOf(filter.Get())) {
            if (!IsDirection(next.Get(), PINDIR_OUTPUT) || PeerOf(next.Get())) continue;
            if (SUCCEEDED(TracedConnect("  ConnectDirect", next.Get(), in, nullptr)) ||
                SUCCEEDED(ConnectThrough(next.Get(), in, chain))) {
                CAutoLock lock(&lock_);
                insertedByBuild_.erase(filter.Get());
                return S_OK;
            }
        }
        chain.pop_back();
        Discard(filter.Get(), name, "  removed");
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::Connect(IPin* ppinOut, IPin* ppinIn) {
    HRESULT hr = TracedConnect("Connect", ppinOut, ppinIn, nullptr);
    if (SUCCEEDED(hr)) return hr;
    // Mistakes of the caller keep their own result.
    HRESULT request = ppinIn ? CheckBuildRequest(ppinOut, ppinIn) : E_POINTER;
    if (FAILED(request)) return request;
    std::vector<CLSID> chain;
    hr = ConnectThrough(ppinOut, ppinIn, chain);
    Trace("Connect " + PinLabel(ppinOut) + " -> " + PinLabel(ppinIn) + " through registered filters = " +
          ResultLabel(hr));
    return hr;
}

HRESULT CFilterGraph::RenderThrough(IPin* out, std::vector<CLSID>& chain) {
    if (chain.size() >= kMaxIntermediates) return VFW_E_CANNOT_RENDER;
    for (const ComPtr<IMoniker>& candidate : Candidates(out)) {
        std::string name;
        ComPtr<IBaseFilter> filter = Insert(candidate.Get(), out, chain, &name);
        if (!filter) continue;
        {
            CAutoLock lock(&lock_);
            insertedByBuild_.insert(filter.Get());
        }
        int outputs = 0, rendered = 0;
        for (const ComPtr<IPin>& next : PinsOf(filter.Get())) {
            if (!IsDirection(next.Get(), PINDIR_OUTPUT) || PeerOf(next.Get())) continue;
            ++outputs;
            if (SUCCEEDED(RenderThrough(next.Get(), chain))) ++rendered;
        }
        chain.pop_back();
        if (outputs == 0 || rendered > 0) {
            CAutoLock lock(&lock_);
            insertedByBuild_.erase(filter.Get());
            return rendered < outputs ? VFW_S_PARTIAL_RENDER : S_OK;
        }
        Discard(filter.Get(), name, "  removed");
    }
    return VFW_E_CANNOT_RENDER;
}

HRESULT CFilterGraph::Render(IPin* ppinOut) {
    HRESULT hr = CheckBuildRequest(ppinOut, nullptr);
    if (SUCCEEDED(hr)) {
        std::vector<CLSID> chain;
        hr = RenderThrough(ppinOut, chain);
    }
    Trace("Render " + PinLabel(ppinOut) + " = " + ResultLabel(hr));
    return hr;
}

HRESULT CFilterGraph::Reconnect(IPin*) { return E_NOTIMPL; }

HRESULT CFilterGraph::Disconnect(IPin* ppin) {
    if (!ppin) return E_POINTER;
    CAutoLock lock(&lock_);
    if (IndexOfPinOwner(ppin) < 0) return VFW_E_NOT_IN_GRAPH;
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    return ppin->Disconnect();
}

HRESULT CFilterGraph::SetDefaultSyncSource() { return E_NOTIMPL; }
HRESULT CFilterGraph::RenderFile(LPCWSTR, LPCWSTR) { return E_NOTIMPL; }

HRESULT CFilterGraph::AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter** ppFilter) {
    if (ppFilter) *ppFilter = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::Abort() { return E_NOTIMPL; }
HRESULT CFilterGraph::ShouldOperationContinue() { return S_OK; }

// ---------------------------------------------------------------------------------------
// Trace

HRESULT CFilterGraph::SetLogFile(DWORD_PTR hFile) {
    int fd = -1;
    if (hFile != 0) {
        fd = ::fcntl(static_cast<int>(hFile), F_DUPFD_CLOEXEC, 0);
        if (fd < 0) return E_HANDLE;
    }
    std::lock_guard lock(traceMutex_);
    if (traceFd_ >= 0) ::close(traceFd_);
    traceFd_ = fd;
    traceWide_ = true;
    return S_OK;
}

HRESULT CFilterGraph::SetTraceFile(const std::string& path) {
    int fd = -1;
    if (!path.empty()) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EACCES || errno == EPERM || errno == EROFS) return E_ACCESSDENIED;
            if (errno == ENOENT || errno == ENOTDIR) return HRESULT_FROM_WIN32(3);  // ERROR_PATH_NOT_FOUND
            return E_FAIL;
        }
    }
    std::lock_guard lock(traceMutex_);
    if (traceFd_ >= 0) ::close(traceFd_);
    traceFd_ = fd;
    traceWide_ = false;
    return S_OK;
}

void CFilterGraph::Trace(const std::string& line) {
    std::lock_guard lock(traceMutex_);
    if (traceFd_ < 0) return;
    std::string text;
    if (traceWide_) {
        for (char16_t c : WideFromUtf8(line + "\r\n")) {
            text += static_cast<char>(c & 0xFF);
            text += static_cast<char>(c >> 8);
        }
    } else {
        text = line + "\n";
    }
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(traceFd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a trace that cannot be written must not fail the connection
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// ---------------------------------------------------------------------------------------
// State

std::vector<IBaseFilter*> CFilterGraph::DownstreamFirst() const {
    const size_t n = filters_.size();
    std::vector<std::set<size_t>> downstream(n), upstream(n);
    for (size_t i = 0; i < n; ++i) {
        for (ComPtr<IPin>& pin : PinsOf(filters_[i].filter.Get())) {
            if (!IsDirection(pin.Get(), PINDIR_OUTPUT)) continue;
            ComPtr<IPin> peer = PeerOf(pin.Get());
            if (!peer) continue;
            int j = IndexOfPinOwner(peer.Get());
            if (j < 0 || static_cast<size_t>(j) == i) continue;
            downstream[i].insert(static_cast<size_t>(j));
            upstream[static_cast<size_t>(j)].insert(i);
        }
    }
    std::vector<size_t> pending(n);
    for (size_t i = 0; i < n; ++i) pending[i] = downstream[i].size();
    std::vector<bool> done(n, false);
    std::vector<IBaseFilter*> order;
    bool progress = true;
    while (order.size() < n && progress) {
        progress = false;
        for (size_t i = 0; i < n; ++i) {
            if (done[i] || pending[i] != 0) continue;
            done[i] = true;
            progress = true;
            order.push_back(filters_[i].filter.Get());
            for (size_t u : upstream[i]) --pending[u];
        }
    }
    for (size_t i = 0; i < n; ++i)
        if (!done[i]) order.push_back(filters_[i].filter.Get());
    return order;
}

std::set<LONG_PTR> CFilterGraph::Renderers() const {
    std::set<LONG_PTR> out;
    for (const Entry& e : filters_) {
        bool connectedInput = false, connectedOutput = false;
        for (ComPtr<IPin>& pin : PinsOf(e.filter.Get())) {
            if (!PeerOf(pin.Get())) continue;
            (IsDirection(pin.Get(), PINDIR_OUTPUT) ? connectedOutput : connectedInput) = true;
        }
        if (connectedInput && !connectedOutput) out.insert(reinterpret_cast<LONG_PTR>(e.filter.Get()));
    }
    return out;
}

HRESULT CFilterGraph::PauseLocked() {
    if (state_ == State_Paused) return S_OK;
    const bool fromStopped = state_ == State_Stopped;
    if (fromStopped) {
        std::set<LONG_PTR> renderers = Renderers();
        std::lock_guard ev(eventMutex_);
        streaming_ = true;
        ++streamNumber_;
        renderers_ = std::move(renderers);
        completed_.clear();
        anonymousCompletions_ = 0;
        endCode_ = 0;
    }
    HRESULT result = S_OK;
    for (IBaseFilter* f : DownstreamFirst()) {
        HRESULT hr = f->Pause();
        if (FAILED(hr)) {
            // Half a graph streaming helps nobody.
            StopAllLocked();
            return hr;
        }
        if (hr != S_OK) result = S_FALSE;
    }
    state_ = State_Paused;
    return result;
}

HRESULT CFilterGraph::StopAllLocked() {
    HRESULT first = S_OK;
    for (IBaseFilter* f : DownstreamFirst()) {
        HRESULT hr = f->Stop();
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    state_ = State_Stopped;
    std::lock_guard ev(eventMutex_);
    streaming_ = false;
    ++streamNumber_;
    eventChanged_.notify_all();
    return first;
}

HRESULT CFilterGraph::Pause() {
    CAutoLock lock(&lock_);
    return PauseLocked();
}

HRESULT CFilterGraph::Run() {
    CAutoLock lock(&lock_);
    if (state_ == State_Running) return S_OK;
    if (state_ == State_Stopped) {
        HRESULT hr = PauseLocked();
        if (FAILED(hr)) return hr;
    }
    for (IBaseFilter* f : DownstreamFirst()) {
        HRESULT hr = f->Run(0);
        if (FAILED(hr)) {
            StopAllLocked();
            return hr;
        }
    }
    state_ = State_Running;
    {
        // Nothing to wait for when nothing renders.
        std::lock_guard ev(eventMutex_);
        if (renderers_.empty() && endCode_ == 0) {
            endCode_ = EC_COMPLETE;
            eventChanged_.notify_all();
        }
    }
    return S_OK;
}

HRESULT CFilterGraph::Stop() {
    CAutoLock lock(&lock_);
    if (state_ == State_Stopped) return S_OK;
    return StopAllLocked();
}

HRESULT CFilterGraph::GetState(LONG msTimeout, OAFilterState* pfs) {
    if (!pfs) return E_POINTER;
    CAutoLock lock(&lock_);
    *pfs = state_;
    bool intermediate = false, cantCue = false;
    for (const Entry& e : filters_) {
        FILTER_STATE fs;
        HRESULT hr = e.filter->GetState(static_cast<DWORD>(msTimeout < 0 ? 0 : msTimeout), &fs);
        if (hr == VFW_S_STATE_INTERMEDIATE) intermediate = true;
        if (hr == VFW_S_CANT_CUE) cantCue = true;
    }
    if (intermediate) return VFW_S_STATE_INTERMEDIATE;
    return cantCue ? VFW_S_CANT_CUE : S_OK;
}

HRESULT CFilterGraph::RenderFile(BSTR) { return E_NOTIMPL; }

HRESULT CFilterGraph::AddSourceFilter(BSTR, IUnknown** ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::get_FilterCollection(IUnknown** ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::get_RegFilterCollection(IUnknown** ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::StopWhenReady() { return Stop(); }

// ---------------------------------------------------------------------------------------
// Events

HRESULT CFilterGraph::Notify(long eventCode, LONG_PTR, LONG_PTR param2) {
    std::lock_guard ev(eventMutex_);
    if (!streaming_) return S_OK;
    switch (eventCode) {
    case EC_COMPLETE:
        if (param2 == 0)
            ++anonymousCompletions_;
        else if (renderers_.count(param2))
            completed_.insert(param2);
        if (endCode_ == 0 && completed_.size() + anonymousCompletions_ >= renderers_.size()) {
            endCode_ = EC_COMPLETE;
            eventChanged_.notify_all();
        }
        break;
    case EC_USERABORT:
    case EC_ERRORABORT:
    case EC_STREAM_ERROR_STOPPED:
        if (endCode_ == 0) {
            endCode_ = eventCode;
            eventChanged_.notify_all();
        }
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(DWORD timeoutMs, long* eventCode) {
    if (eventCode) *eventCode = 0;
    std::unique_lock ev(eventMutex_);
    if (!streaming_) return VFW_E_WRONG_STATE;
    const unsigned long stream = streamNumber_;
    auto settled = [&] { return endCode_ != 0 || streamNumber_ != stream; };
    if (timeoutMs == INFINITE)
        eventChanged_.wait(ev, settled);
    else if (!eventChanged_.wait_for(ev, std::chrono::milliseconds(timeoutMs), settled))
        return E_ABORT;
    if (streamNumber_ != stream) return VFW_E_WRONG_STATE;
    if (eventCode) *eventCode = endCode_;
    return S_OK;
}
