#pragma once
// A simulated BDA tuner device bound as a filter: input "Antenna" from its network's
// provider, output "MPEG2 Transport". Tuned through the provider, it locks after the
// declared delay and, while the graph runs, produces its declared stream in real time
// on a thread of its own.
#include "platform/bda/BdaSimulation.h"
#include "platform/bda/CBdaFilter.h"
#include <condition_variable>
#include <thread>

// What a network provider asks of the tuner it is connected to.
constexpr IID IID_ISimTunerDevice = {0x4C3E8B71, 0x0F2A, 0x4D6B, {0x8E, 0x55, 0x1B, 0x90, 0x7A, 0x2C, 0x64, 0x13}};
struct ISimTunerDevice : IUnknown {
    // Starts locking on the request's locator; S_OK when the tuner takes it.
    virtual HRESULT Tune(ITuneRequest* request) = 0;
    // ITuner::get_SignalStrength's value: 0 before lock, the level in the upper 16 bits after.
    virtual LONG SignalStrength() = 0;

protected:
    ~ISimTunerDevice() = default;
};

class CSimTunerFilter final : public CBdaFilter, public ISimTunerDevice {
public:
    CSimTunerFilter(size_t index, SimTunerDeclaration declared);
    ~CSimTunerFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT Tune(ITuneRequest* request) override;
    LONG SignalStrength() override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    HRESULT CheckType(CBasePin* pin, const CMediaType* mt) override;
    HRESULT ProposeType(CBasePin* pin, int position, CMediaType* mt) override;
    void BufferSize(CBdaOutputPin* pin, LONG* count, LONG* size) override;

    // Position of the device in the declaration; receivers take only their own tuner.
    size_t Index() const { return index_; }
    // The tuner device behind a pin's filter, or null.
    static CSimTunerFilter* FromPin(IPin* pin);

private:
    bool Locked();
    bool Present() const;
    void StartStreaming();
    void StopStreaming();
    void Stream();

    const size_t index_;
    const SimTunerDeclaration declared_;
    CBdaInputPin* antenna_;
    CBdaOutputPin* output_;

    std::mutex m_;
    std::condition_variable wake_;
    bool tuned_ = false;
    std::chrono::steady_clock::time_point tunedAt_;
    bool stopping_ = false;
    std::thread thread_;
    std::unique_ptr<PacedStream> stream_;  // opened on the first run, used by the thread only
    bool streamFailed_ = false;
};
