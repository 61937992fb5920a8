#pragma once
// One of the maker's SAA7146-based DVB cards as a feed: identity from its driver, a
// streaming thread that reads the card, re-aligns the bytes to packets and delivers
// them, tuning with DiSEqC input selection, and the card extension interface.
//
// Threading contract
// - Caller threads: Start, Stop, Tune, the status queries, DiSEqC, dialogs, the
//   extension interface. Tune and the status queries take the device lock; the
//   others issue their requests without it (each request waits on its own event).
// - The streaming thread (the pump's fill thread, raised to time-critical priority)
//   runs from the first Start until destruction, idling while stopped; it alone reads
//   the card and runs the splitter. The pump's delivery thread calls the callback.
// - Streaming and discard-next-buffer are atomics set by callers and read by the
//   streaming thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "feeds/FeedPump.h"
#include "feeds/pci/CardExtensionAccess.h"
#include "feeds/pci/PacketSplitter.h"
#include "feeds/sdk/Feed.h"
#include "platform/devices/DeviceIo.h"

class CVMDVBPCIFeed : public CFeed, public CardExtensionAccess {
public:
    static constexpr uint32_t kBufferCount = 10;
    static constexpr uint32_t kReadSize = 385'024;  // 2,048 packets
    static constexpr uint32_t kStagingSize = 385'124;
    static constexpr const char* kAllocatorName = "CVMDVBPCIFeed::Thread";
    static constexpr uint32_t kDefaultFrequency = 11'836'000;
    static constexpr uint32_t kDefaultSymbolRate = 27'500'000;
    static constexpr uint32_t kHighBandAboveKHz = 11'700'000;

    explicit CVMDVBPCIFeed(uint32_t cardIndex);
    ~CVMDVBPCIFeed() override;

    bool Start(int32_t unused) override;
    void Stop() override;
    bool LoadSettings(const char* application) override;
    bool SaveSettings(const char* application) override;
    bool SupportsDeliveryDescriptor(const uint8_t* descriptor) override;
    bool Tune(const TuningParameters* params) override;
    uint8_t GetStatus() override;
    uint16_t GetSignalLevel() override;
    uint32_t GetReceptionValue() override;
    // True when the driver took the message.
    bool SendDiseqcMessage(const uint8_t* message, uint32_t length) override;
    bool HasConfigDialog() override { return true; }
    bool ShowConfigDialog(HWND owner, const char* option, const uint8_t* descriptor) override;
    void* GetExtension() override { return static_cast<CardExtensionAccess*>(this); }

    bool IsPresent() override;
    uint8_t ReadA(uint16_t address) override;
    void WriteA(uint16_t address, uint8_t value) override;
    void WriteB(uint16_t address, uint8_t value) override;
    uint8_t ReadB(uint16_t address) override;
    void SetSwitch(bool on) override;
    void Reset() override;

    // For the dialogs.
    TuningParameters& Record() { return record_; }
    uint32_t DialogFrequency() const { return dialogFrequency_; }
    uint32_t DialogSymbolRate() const { return dialogSymbolRate_; }
    bool DialogVertical() const { return dialogVertical_; }
    void SetDialogMirrors(uint32_t frequency, uint32_t symbolRate, bool vertical);
    uint8_t DiseqcInput() const { return diseqcInput_; }
    void SetDiseqcInput(uint8_t input) { diseqcInput_ = input; }
    // The name given to the last LoadSettings; null when none was.
    const char* ApplicationName() const { return application_.empty() ? nullptr : application_.c_str(); }
    const char* DriverVersion() const { return driverVersion_; }
    // The streaming thread runs (from the first Start until destruction).
    bool StreamingThreadStarted() const { return threadStarted_; }

private:
    static void AppendPackets(void* self, const uint8_t* first, size_t count, size_t stride);
    void StreamLoop();
    bool Request(DWORD code, const void* input, DWORD inputLength, void* output, DWORD outputLength,
                 DWORD* returned = nullptr);

    HANDLE device_ = INVALID_HANDLE_VALUE;
    char driverVersion_[kFeedTextSize] = {};
    uint8_t cardInformation_[24] = {};
    TuningParameters record_{};
    uint8_t diseqcInput_ = 0;
    uint32_t dialogFrequency_ = kDefaultFrequency;
    uint32_t dialogSymbolRate_ = kDefaultSymbolRate;
    bool dialogVertical_ = false;
    std::string application_;

    std::atomic<bool> streaming_{false};
    bool threadStarted_ = false;       // under control_
    bool switchOffPending_ = true;     // under control_
    std::atomic<bool> discardNext_{false};
    std::mutex control_;               // Start against Start and destruction
    std::mutex deviceLock_;

    CPacketSplitter splitter_;
    // The streaming thread's alone.
    std::vector<uint8_t> staging_;
    size_t stagingFill_ = 0;

    // Last, so that its threads are gone before anything they use.
    CFeedPump pump_;
};
