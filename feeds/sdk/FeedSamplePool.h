#pragma once
// A fixed pool of media samples for a feed that fills its own: every buffer is reserved
// once by Reserve, a sample goes back to the pool when its last reference is released
// (by the filter, on whatever thread), and nothing is allocated per sample.
//
// Threads: any number of threads may Acquire and Release. The pool's memory lives until
// the owner has destroyed the pool and every sample has come back, so a host that keeps
// a sample beyond the feed's life does not touch freed memory. Destroy the pool only
// after the owner's threads that Acquire have ended (Abort wakes one that waits).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "FeedComTypes.h"

class CFeedSamplePool {
public:
    CFeedSamplePool() = default;
    CFeedSamplePool(const CFeedSamplePool&) = delete;
    CFeedSamplePool& operator=(const CFeedSamplePool&) = delete;
    ~CFeedSamplePool() {
        if (shared_) shared_->Unref();
    }

    // Reserves count buffers of bufferSize bytes each; false when the memory cannot be
    // had or the pool is already reserved.
    bool Reserve(uint32_t count, uint32_t bufferSize) {
        if (shared_ || count == 0 || bufferSize == 0 || bufferSize > uint32_t(INT32_MAX)) return false;
        shared_ = Shared::Create(count, bufferSize);
        return shared_ != nullptr;
    }

    // A free sample with one reference, its actual data length 0 and no times or flags;
    // null when none came free within the wait, or after Abort.
    IMediaSample* Acquire(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
        return shared_ ? shared_->Acquire(wait) : nullptr;
    }

    // Makes every waiting and later Acquire return null, until Resume.
    void Abort() {
        if (shared_) shared_->SetAborted(true);
    }
    void Resume() {
        if (shared_) shared_->SetAborted(false);
    }

    // Samples that are in the pool, not out with a holder.
    uint32_t FreeCount() const { return shared_ ? shared_->FreeCount() : 0; }
    uint32_t BufferSize() const { return shared_ ? shared_->bufferSize : 0; }

private:
    struct Shared;

    class Sample final : public IMediaSample {
    public:
        HRESULT QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            if (riid == IID_IUnknown || riid == IID_IMediaSample) {
                AddRef();
                *ppv = static_cast<IMediaSample*>(this);
                return S_OK;
            }
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
        ULONG Release() override {
            ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
            if (left == 0) shared_->Return(this);
            return left;
        }

        HRESULT GetPointer(BYTE** ppBuffer) override {
            if (!ppBuffer) return E_POINTER;
            *ppBuffer = buffer_;
            return S_OK;
        }
        LONG GetSize() override { return static_cast<LONG>(shared_->bufferSize); }
        HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
            if (!start || !stop) return E_POINTER;
            if (!(flags_ & kTimeValid)) return kTimeNotSet;
            *start = start_;
            if (!(flags_ & kStopValid)) {
                *stop = start_ + 1;
                return kNoStopTime;
            }
            *stop = stop_;
            return S_OK;
        }
        HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
            flags_ &= ~(kTimeValid | kStopValid);
            if (start) {
                start_ = *start;
                flags_ |= kTimeValid;
                if (stop) {
                    stop_ = *stop;
                    flags_ |= kStopValid;
                }
            }
            return S_OK;
        }
        HRESULT IsSyncPoint() override { return Flag(kSyncPoint); }
        HRESULT SetSyncPoint(BOOL on) override { return SetFlag(kSyncPoint, on); }
        HRESULT IsPreroll() override { return Flag(kPreroll); }
        HRESULT SetPreroll(BOOL on) override { return SetFlag(kPreroll, on); }
        LONG GetActualDataLength() override { return actual_; }
        HRESULT SetActualDataLength(LONG length) override {
            if (length < 0 || length > GetSize()) return kBufferOverflow;
            actual_ = length;
            return S_OK;
        }
        // The feed's media type never changes on the way, so a sample carries none.
        HRESULT GetMediaType(AM_MEDIA_TYPE** type) override {
            if (!type) return E_POINTER;
            *type = nullptr;
            return S_FALSE;
        }
        HRESULT SetMediaType(AM_MEDIA_TYPE* type) override { return type ? E_NOTIMPL : S_OK; }
        HRESULT IsDiscontinuity() override { return Flag(kDiscontinuity); }
        HRESULT SetDiscontinuity(BOOL on) override { return SetFlag(kDiscontinuity, on); }
        HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) override {
            if (!start || !stop) return E_POINTER;
            if (!(flags_ & kMediaTimeValid)) return kMediaTimeNotSet;
            *start = mediaStart_;
            *stop = mediaStop_;
            return S_OK;
        }
        HRESULT SetMediaTime(LONGLONG* start, LONGLONG* stop) override {
            if (!start) {
                flags_ &= ~kMediaTimeValid;
                return S_OK;
            }
            if (!stop) return E_POINTER;
            mediaStart_ = *start;
            mediaStop_ = *stop;
            flags_ |= kMediaTimeValid;
            return S_OK;
        }

    private:
        friend struct Shared;
        // The runtime's codes for these outcomes, so hosts read them as they read its own.
        static constexpr HRESULT kNoStopTime = MakeHResult(0x00040270u);
        static constexpr HRESULT kBufferOverflow = MakeHResult(0x8004020Du);
        static constexpr HRESULT kTimeNotSet = MakeHResult(0x80040249u);
        static constexpr HRESULT kMediaTimeNotSet = MakeHResult(0x80040251u);
        enum : uint32_t {
            kTimeValid = 1,
            kStopValid = 2,
            kSyncPoint = 4,
            kPreroll = 8,
            kDiscontinuity = 16,
            kMediaTimeValid = 32,
        };

        HRESULT Flag(uint32_t bit) const { return (flags_ & bit) ? S_OK : S_FALSE; }
        HRESULT SetFlag(uint32_t bit, BOOL on) {
            flags_ = on ? (flags_ | bit) : (flags_ & ~bit);
            return S_OK;
        }
        void Clear() {
            flags_ = 0;
            actual_ = 0;
            start_ = stop_ = mediaStart_ = mediaStop_ = 0;
        }

        Shared* shared_ = nullptr;
        BYTE* buffer_ = nullptr;
        std::atomic<ULONG> refs_{0};
        uint32_t flags_ = 0;
        LONG actual_ = 0;
        REFERENCE_TIME start_ = 0, stop_ = 0;
        LONGLONG mediaStart_ = 0, mediaStop_ = 0;
    };

    // Held by the owner and by every sample that is out; the last one frees it.
    struct Shared {
        static Shared* Create(uint32_t count, uint32_t size) {
            auto* shared = new (std::nothrow) Shared(size);
            if (!shared) return nullptr;
            shared->memory.reset(new (std::nothrow) BYTE[size_t(count) * size]);
            shared->samples.reset(new (std::nothrow) Sample[count]);
            bool ok = shared->memory && shared->samples;
            if (ok) {
                try {
                    shared->free.reserve(count);
                } catch (const std::bad_alloc&) {
                    ok = false;
                }
            }
            if (!ok) {
                delete shared;
                return nullptr;
            }
            for (uint32_t i = 0; i < count; ++i) {
                shared->samples[i].shared_ = shared;
                shared->samples[i].buffer_ = shared->memory.get() + size_t(i) * size;
                shared->free.push_back(&shared->samples[i]);
            }
            return shared;
        }

        IMediaSample* Acquire(std::chrono::milliseconds wait) {
            std::unique_lock<std::mutex> lock(mutex);
            if (!cv.wait_for(lock, wait, [this] { return aborted || !free.empty(); }) || aborted) return nullptr;
            Sample* sample = free.back();
            free.pop_back();
            lock.unlock();
            refs.fetch_add(1, std::memory_order_relaxed);
            sample->Clear();
            sample->refs_.store(1, std::memory_order_relaxed);
            return sample;
        }

        void Return(Sample* sample) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                free.push_back(sample);  // never grows: capacity is the sample count
            }
            cv.notify_one();
            Unref();
        }

        void SetAborted(bool on) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                aborted = on;
            }
            cv.notify_all();
        }

        uint32_t FreeCount() {
            std::lock_guard<std::mutex> lock(mutex);
            return static_cast<uint32_t>(free.size());
        }

        void Unref() {
            if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
        }

        explicit Shared(uint32_t size) : bufferSize(size) {}

        const uint32_t bufferSize;
        std::atomic<uint32_t> refs{1};
        std::unique_ptr<BYTE[]> memory;
        std::unique_ptr<Sample[]> samples;
        std::mutex mutex;
        std::condition_variable cv;
        std::vector<Sample*> free;
        bool aborted = false;
    };

    Shared* shared_ = nullptr;
};
