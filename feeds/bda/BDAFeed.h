#pragma once
// A BDA tuner as a feed. Start builds a private graph around the tuner (network
// provider, tuner, receiver component, tee, demultiplexer, export filter), tunes it and
// runs it; the export filter hands each sample back on the graph's streaming thread and
// the feed passes the same sample on to the data callback.
//
// Threads: Start, Stop, Tune, GetStatus, GetSignalLevel, the dialogs and destruction take
// the graph lock; the hand-back takes no lock and touches only the export interface it
// was registered with and the callback fields. Teardown stops the graph and unregisters
// the hand-back before it lets the graph's objects go.
#include <mutex>
#include <string>

#include "feeds/sdk/Feed.h"
#include "platform/bda/BdaInterfaces.h"
#include "platform/com/Unknown.h"

class CBDAFeed : public CFeed {
public:
    // The index-th network tuner that has a FriendlyName; type 0 when there is none.
    explicit CBDAFeed(uint32_t deviceIndex);
    ~CBDAFeed() override;

    bool Start(int32_t serviceId) override;
    void Stop() override;
    bool LoadSettings(const char* application) override;
    bool SaveSettings(const char* application) override;
    bool SupportsDeliveryDescriptor(const uint8_t* descriptor) override;
    bool Tune(const TuningParameters* params) override;
    uint8_t GetStatus() override;
    uint16_t GetSignalLevel() override;
    uint32_t GetReceptionValue() override { return 0; }
    bool HasConfigDialog() override { return true; }
    bool ShowConfigDialog(HWND parent, const char* option, const uint8_t* descriptor) override;

    const TuningParameters& Record() const { return record_; }
    // Takes the words a person gave for the next start; word 0 stays the feed's type.
    void SetTuning(const TuningParameters& record);
    // The latest start failed at the export filter and wrote the connect log.
    bool ConnectLogWritten() const { return connectLogWritten_; }
    int32_t LastSelectedType() const { return lastSelectedType_; }
    // Where the connect log goes on this system.
    static std::string ConnectLogPath();

private:
    bool Build(int32_t serviceId);
    bool BuildTuneRequest(int32_t serviceId, ComPtr<ITuneRequest>* request);
    bool FindCapture();
    bool Fail(const char* message);
    void Teardown();
    bool TuneLocked(const TuningParameters& given);
    LONG SignalStrength();
    static HRESULT HandBack(void* context, IMediaSample* sample);

    TuningParameters record_{};
    int32_t lastSelectedType_;
    std::string application_;
    bool haveApplication_ = false;
    bool connectLogWritten_ = false;

    std::mutex graphLock_;
    ComPtr<ITuner> tunerControl_;
    ComPtr<ITuningSpace> tuningSpace_;
    ComPtr<IBaseFilter> networkProvider_;
    ComPtr<IBaseFilter> tunerFilter_;
    ComPtr<IBaseFilter> captureFilter_;
    ComPtr<IBaseFilter> tee_;
    ComPtr<IBaseFilter> demultiplexer_;
    ComPtr<IBaseFilter> exportFilter_;
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaControl> mediaControl_;
    ComPtr<IDSExport> exportInterface_;
    // Read by the hand-back; set before it is registered, cleared after it is removed.
    std::atomic<IDSExport*> handBackExport_{nullptr};
};
