#pragma once
// Small helpers shared by the graph tests.
#include "platform/graph/CFilterGraph.h"
#include "platform/graph/CPushSourceFilter.h"
#include "platform/graph/CSampleSinkFilter.h"
#include <mutex>
#include <string>
#include <vector>

inline CMediaType TsType(const GUID& subtype = MEDIASUBTYPE_MPEG2_TRANSPORT) {
    CMediaType mt;
    mt.InitMediaType();
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_None);
    return mt;
}

// A COM pointer to a new object that starts with no reference.
template <class I, class T>
ComPtr<I> Hold(T* object, REFIID iid) {
    ComPtr<I> p;
    object->NonDelegatingQueryInterface(iid, reinterpret_cast<void**>(p.ReleaseAndGetAddressOf()));
    return p;
}

inline ComPtr<CFilterGraph> NewGraph() {
    auto* g = new CFilterGraph(nullptr);
    g->NonDelegatingAddRef();
    ComPtr<CFilterGraph> p;
    p.Attach(g);
    return p;
}

// Owns a filter object through one reference.
template <class T>
class Owned {
public:
    explicit Owned(T* p) : p_(p) { p_->NonDelegatingAddRef(); }
    ~Owned() { p_->NonDelegatingRelease(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    IBaseFilter* filter() const { return static_cast<IBaseFilter*>(p_); }

private:
    T* p_;
};

inline IPin* PinOf(CBaseFilter* f, int n = 0) { return f->GetPin(n); }

// Records state changes of the filters in one shared log.
class StateLog {
public:
    void Add(const std::string& entry) {
        std::lock_guard lock(m_);
        entries_.push_back(entry);
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(m_);
        return std::move(entries_);
    }

private:
    std::mutex m_;
    std::vector<std::string> entries_;
};

class LoggingSink : public CSampleSinkFilter {
public:
    LoggingSink(StateLog& log, std::string name) : log_(log), name_(std::move(name)) {}
    HRESULT Pause() override { log_.Add(name_ + ".Pause"); return CSampleSinkFilter::Pause(); }
    HRESULT Run(REFERENCE_TIME t) override { log_.Add(name_ + ".Run"); return CSampleSinkFilter::Run(t); }
    HRESULT Stop() override { log_.Add(name_ + ".Stop"); return CSampleSinkFilter::Stop(); }

private:
    StateLog& log_;
    std::string name_;
};

class LoggingSource : public CPushSourceFilter {
public:
    LoggingSource(StateLog& log, std::string name, FillCallback fill)
        : CPushSourceFilter({TsType()}, 188, 4, std::move(fill)), log_(log), name_(std::move(name)) {}
    HRESULT Pause() override { log_.Add(name_ + ".Pause"); return CPushSourceFilter::Pause(); }
    HRESULT Run(REFERENCE_TIME t) override { log_.Add(name_ + ".Run"); return CPushSourceFilter::Run(t); }
    HRESULT Stop() override { log_.Add(name_ + ".Stop"); return CPushSourceFilter::Stop(); }

private:
    StateLog& log_;
    std::string name_;
};
