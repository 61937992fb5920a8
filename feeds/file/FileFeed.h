#pragma once
// Plays a transport-stream file as if it were a live source: the feed pump's fill
// thread reads blocks (paced to a bitrate, or as fast as buffers come back), and its
// delivery thread hands them to the data callback in order.
//
// Threading contract
// - Caller threads: Start, Stop, the setters, the settings and the dialog. Start and
//   destruction are serialised by the control mutex and wait there for the threads of
//   an earlier start. Stop takes only the file lock (then the pump's state lock inside
//   it) and never waits for a thread, so it may be called from any thread, the data
//   callback included, while another thread is in Start or destruction.
// - The fill thread (read and pace): every read and seek, under the file lock, with
//   the stop test right before the read. It sets the end of data under the file lock.
// - The delivery thread: runs the data callback.
// - The setters write the bitrate, bitrate lock and loop flag as atomics; the fill
//   thread reads them afresh for every block. The file name is read only by Start.
// Lock order, outermost first: control mutex -> file lock -> the pump's locks. The
// control mutex is never taken by anything a pump thread runs.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "feeds/FeedPump.h"
#include "feeds/FileFeedSetup.h"
#include "feeds/sdk/Feed.h"
#include "platform/system/CritSec.h"
#include "platform/system/SharedFile.h"

class CFileFeed : public CFeed, public IFileFeedSetup {
public:
    static constexpr uint32_t kDefaultBitrate = 38'014'704;
    static constexpr uint32_t kBufferCount = 15;
    static constexpr uint32_t kBufferSize = 2'310'144;  // 12,288 packets of 188 bytes
    static constexpr size_t kFileNameSize = 260;
    static constexpr const char* kAllocatorName = "CFileFeed::Thread";
    // What a stored bitrate of 0 (or none) loads as.
    static constexpr uint32_t kSettingsDefaultBitrate = 4'751'750;

    explicit CFileFeed(uint32_t unused = 0);
    ~CFileFeed() override;

    bool Start(int32_t unused) override;
    void Stop() override;
    // "Software\Velmar\<application>\FileFeed". Load returns whether a last file was
    // stored; Save whether it was written.
    bool LoadSettings(const char* application) override;
    bool SaveSettings(const char* application) override;
    bool SupportsDeliveryDescriptor(const uint8_t*) override { return false; }
    bool Tune(const TuningParameters*) override { return true; }
    uint8_t GetStatus() override { return 0xFF; }
    uint16_t GetSignalLevel() override { return 0xFFFF; }
    uint32_t GetReceptionValue() override { return 0; }
    bool HasConfigDialog() override { return true; }
    // True when the user confirmed the dialog; the option and descriptor are not used.
    bool ShowConfigDialog(HWND parent, const char* option, const uint8_t* descriptor) override;
    // The file setup the filter's file mode uses.
    void* GetExtension() override { return static_cast<IFileFeedSetup*>(this); }

    // A name carrying ":LOOP:" turns looping on and is stored without the marker;
    // without it the loop flag stays as it was. The name matters at the next Start.
    void SetFileName(const char* name) override;
    // Stores the name as it stands; the loop flag is not touched.
    void SetPlainFileName(const char* name);
    void SetBitrate(uint32_t bitsPerSecond) override { bitrate_.store(bitsPerSecond, std::memory_order_relaxed); }
    void SetLoop(bool loop) override { loop_.store(loop, std::memory_order_relaxed); }
    // true: reads are paced to the bitrate; false: as fast as buffers are returned.
    void SetBitrateLock(bool locked) { bitrateLock_.store(locked, std::memory_order_relaxed); }

    const char* FileName() const { return fileName_; }
    uint32_t Bitrate() const { return bitrate_.load(std::memory_order_relaxed); }
    bool Loop() const { return loop_.load(std::memory_order_relaxed); }
    bool BitrateLock() const { return bitrateLock_.load(std::memory_order_relaxed); }
    // From a Start that launched the threads until the fill thread has wound down.
    bool DeliveryRunning() const { return pump_.Running(); }
    // The fill thread has read a non-looping file to its end; what it read is still
    // being handed on until DeliveryRunning turns false.
    bool FileEndReached() const { return endOfData_.load(std::memory_order_acquire); }
    // Waits until the threads of the last Start have ended (a stopped or finished
    // file); false when they still run after the timeout.
    bool WaitForDeliveryEnd(DWORD timeoutMs);

private:
    enum class ReadOutcome { Data, End };

    // Under the file lock: opens the file and launches the threads when none run.
    bool StartLocked();
    // The fill thread's loop.
    void ReadAndPace();
    // Fills the sample with the next block of at most `block` bytes; End when a
    // non-looping file is over or there is nothing left to read.
    ReadOutcome ReadBlock(IMediaSample* sample, uint32_t block, long* bytes);
    // Sleeps until the next 100 ms slot of the process-wide schedule is due.
    void WaitForTick();
    void SetSystemError(int code);

    char fileName_[kFileNameSize] = {};
    std::atomic<uint32_t> bitrate_{kDefaultBitrate};
    std::atomic<bool> bitrateLock_{true};
    std::atomic<bool> loop_{false};

    // Serialises Start and destruction with each other; never taken by Stop.
    std::mutex control_;
    // Guards the file, every read and seek, and the stop test that precedes a read.
    CCritSec fileLock_;
    SharedFile file_;
    // Set by the fill thread at the end of a non-looping file: the delivery thread
    // hands on what is still queued and then ends.
    std::atomic<bool> endOfData_{false};
    char errorBuffer_[260] = {};

    // Last, so that its threads are gone before anything they use.
    CFeedPump pump_;
};
