#pragma once
// Small helpers shared by the graph tests.
#include "platform/graph/CFilterGraph.h"
#include "platform/graph/CPushSourceFilter.h"
#include "platform/graph/CSampleSinkFilter.h"
#include <string>
#include <utility>
#include <vector>

inline CMediaType TsType(const GUID& subtype = MEDIASUBTYPE_MPEG2_TRANSPORT) {
    CMediaType mt;
    mt.InitMediaType();
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_None);
    return mt;
}

inline HRESULT NoData(IMediaSample*) { return S_FALSE; }

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
    IBaseFilter* filter() const { return static_cast<IBaseFilter*>(p_); }
    auto* pin() const { return p_->GetPin(0); }

private:
    T* p_;
};

// A filter that notes its state changes in a log the test reads once the graph stopped.
template <class Base>
class Logged : public Base {
public:
    template <class... Args>
    Logged(std::vector<std::string>& log, std::string name, Args&&... args)
        : Base(std::forward<Args>(args)...), log_(log), name_(std::move(name)) {}
    HRESULT Pause() override { log_.push_back(name_ + ".Pause"); return Base::Pause(); }
    HRESULT Run(REFERENCE_TIME t) override { log_.push_back(name_ + ".Run"); return Base::Run(t); }
    HRESULT Stop() override { log_.push_back(name_ + ".Stop"); return Base::Stop(); }

private:
    std::vector<std::string>& log_;
    std::string name_;
};
