#include "feeds/file/FileFeed.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "feeds/RegistrySettings.h"
#include "feeds/file/FileFeedDialog.h"
#include "feeds/file/PacingSchedule.h"
#include "feeds/file/StreamAnalysis.h"
#include "feeds/file/SystemErrorText.h"
#include "platform/graph/CMemAllocator.h"
#include "platform/system/ErrorText.h"
#include "platform/system/Tick.h"

namespace {

constexpr const char* kFeedName = "File Feed";
constexpr const char* kFeedDescription = "FILE Feed";
constexpr const char* kFeedDetails = "Transport Stream File";
constexpr const char* kInitialFileName = "C:\\";
constexpr const char* kLoopMarker = ":LOOP:";
constexpr const char* kNotRegularFileText = "Not a regular file";
constexpr const char* kNoBuffersText = "Out of memory for the file buffers";
constexpr const char* kNoThreadText = "Unable to start the file feed threads";
constexpr const char* kProducerThreadName = "FileFeedRead";
constexpr const char* kConsumerThreadName = "FileFeedDeliver";

constexpr const char* kSettingsKey = "FileFeed";
constexpr const char* kBitrateLockValue = "Bitratelock";
constexpr const char* kLoopValue = "Loop";
constexpr const char* kBitrateValue = "Bitrate";
constexpr const char* kLastFileValue = "LastFile";

constexpr uint32_t kSniffSize = 10'240;
constexpr long kSniffMinimum = 205;
constexpr LONG kBufferAlignment = 32;
constexpr DWORD kIdleSleepMs = 10;
// Bytes due per tick: bits per second / 8 bits / 10 ticks per second.
constexpr uint32_t kBitsPerTickDivisor = 8 * (1000 / CPacingSchedule::kTickMs);

CPacingSchedule g_pacing;

}  // namespace

CFileFeed::CFileFeed(uint32_t /*unused*/) {
    type_ = kFeedFile;
    capabilities_ |= kCapFile;
    SetText(name_, kFeedName);
    SetText(description_, kFeedDescription);
    SetText(details_, kFeedDetails);
    std::strcpy(fileName_, kInitialFileName);
}

CFileFeed::~CFileFeed() {
    Stop();
    std::lock_guard control(control_);
    producer_.Join();
}

void CFileFeed::SetPlainFileName(const char* name) {
    const size_t n = name ? std::min(std::strlen(name), kFileNameSize - 1) : 0;
    if (n) std::memcpy(fileName_, name, n);
    fileName_[n] = '\0';
}

void CFileFeed::SetFileName(const char* name) {
    SetPlainFileName(name);
    if (char* marker = std::strstr(fileName_, kLoopMarker)) {
        *marker = '\0';
        SetLoop(true);
    }
}

bool CFileFeed::LoadSettings(const char* application) {
    const std::string key = FeedSettingsKey(application, kSettingsKey);
    SetBitrateLock(ReadRegDword(HKEY_CURRENT_USER, key.c_str(), kBitrateLockValue) != 0);
    SetLoop(ReadRegDword(HKEY_CURRENT_USER, key.c_str(), kLoopValue) != 0);
    const DWORD bitrate = ReadRegDword(HKEY_CURRENT_USER, key.c_str(), kBitrateValue);
    SetBitrate(bitrate ? bitrate : kSettingsDefaultBitrate);
    // The stored text has no terminator of its own: read into a cleared buffer that
    // keeps room for one.
    char name[kFileNameSize + 1] = {};
    const bool read = ReadRegString(HKEY_CURRENT_USER, key.c_str(), kLastFileValue, name, kFileNameSize);
    SetPlainFileName(read ? name : "");
    return read;
}

bool CFileFeed::SaveSettings(const char* application) {
    const std::string key = FeedSettingsKey(application, kSettingsKey);
    WriteRegDword(HKEY_CURRENT_USER, key.c_str(), kBitrateLockValue, BitrateLock() ? 1 : 0);
    WriteRegDword(HKEY_CURRENT_USER, key.c_str(), kLoopValue, Loop() ? 1 : 0);
    WriteRegDword(HKEY_CURRENT_USER, key.c_str(), kBitrateValue, Bitrate());
    return WriteRegValue(HKEY_CURRENT_USER, key.c_str(), true, kLastFileValue, fileName_);
}

bool CFileFeed::ShowConfigDialog(HWND parent, const char* /*option*/, const uint8_t* /*descriptor*/) {
    CFileFeedDialog dialog(this);
    return dialog.DoModal(parent) == 1;
}

bool CFileFeed::Start(int32_t /*unused*/) {
    std::lock_guard control(control_);
    for (;;) {
        {
            CAutoLock lock(&fileLock_);
            // Threads told to wind down may already have lost their consumer: they are
            // waited for and a fresh pair is launched. Decided under the file lock, where
            // the producer sets the end of data, so a pair that is still playing here
            // keeps playing with the reopened file.
            const bool windingDown = deliveryRunning_.load(std::memory_order_acquire) &&
                                     (stopRequest_.load(std::memory_order_acquire) ||
                                      endOfData_.load(std::memory_order_acquire));
            if (!windingDown) break;
        }
        producer_.Join();
    }

    CAutoLock lock(&fileLock_);
    SetErrorText(nullptr);
    SetLastError(0);

    // Opening a FIFO would wait for a writer that may never come.
    struct stat st;
    if (::stat(fileName_, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        file_.Close();
        stopRequest_.store(true, std::memory_order_release);
        SetErrorText(kNotRegularFileText);
        return false;
    }
    if (!file_.Open(fileName_)) {
        // Running threads have nothing left to read.
        stopRequest_.store(true, std::memory_order_release);
        SetSystemError(file_.LastError());
        return false;
    }

    uint8_t sniff[kSniffSize] = {};
    const long sniffed = file_.Read(sniff, sizeof sniff);
    if (sniffed >= kSniffMinimum) packetSize_ = static_cast<uint8_t>(DetectPacketSize(sniff, sniffed));
    // Rewound whatever the sniff found, so that a file too short to tell its packet
    // size is still played.
    file_.Seek(0);

    stopRequest_.store(false, std::memory_order_release);
    endOfData_.store(false, std::memory_order_release);
    if (!deliveryRunning_.load(std::memory_order_acquire)) {
        // The previous producer may have cleared the flag but not yet returned.
        producer_.Join();
        writeIndex_.store(0, std::memory_order_relaxed);
        readIndex_.store(0, std::memory_order_relaxed);
        deliveryRunning_.store(true, std::memory_order_release);
        if (!producer_.Start([this] { Producer(); }, kProducerThreadName)) {
            deliveryRunning_.store(false, std::memory_order_release);
            stopRequest_.store(true, std::memory_order_release);
            file_.Close();
            SetErrorText(kNoThreadText);
            return false;
        }
    }
    return true;
}

void CFileFeed::Stop() {
    std::lock_guard control(control_);
    CAutoLock lock(&fileLock_);
    stopRequest_.store(true, std::memory_order_release);
    file_.Close();
}

bool CFileFeed::WaitForDeliveryEnd(DWORD timeoutMs) {
    std::lock_guard control(control_);
    return producer_.Join(timeoutMs);
}

void CFileFeed::SetSystemError(int code) {
    const char* text = SystemErrorText(static_cast<uint32_t>(code));
    const size_t n = std::min(std::strlen(text), sizeof errorBuffer_ - 1);
    std::memcpy(errorBuffer_, text, n);
    errorBuffer_[n] = '\0';
    SetErrorText(errorBuffer_);
}

void CFileFeed::WaitForTick() {
    if (const uint32_t ms = g_pacing.Step(GetTickCount())) Sleep(ms);
}

CFileFeed::ReadOutcome CFileFeed::ReadBlock(IMediaSample* sample, uint32_t block, long* bytes) {
    *bytes = 0;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    CAutoLock lock(&fileLock_);
    if (stopRequest_.load(std::memory_order_acquire)) return ReadOutcome::Data;

    long n = file_.Read(data, block);
    if (n <= 0) {
        if (n < 0) SetSystemError(file_.LastError());
        if (loop_.load(std::memory_order_relaxed) && file_.Seek(0)) n = file_.Read(data, block);
        if (n <= 0) {
            // Set under the lock, so that a Start deciding whether these threads still
            // play sees either the old file going on or the end.
            endOfData_.store(true, std::memory_order_release);
            return ReadOutcome::End;
        }
        // A file shorter than a block is read whole each time: back to its start.
        if (static_cast<uint32_t>(n) < block) file_.Seek(0);
    }
    *bytes = n;
    return ReadOutcome::Data;
}

void CFileFeed::Producer() {
    CMemAllocator* allocator = CMemAllocator::Create(kAllocatorName);
    ALLOCATOR_PROPERTIES wanted{kBufferCount, kBufferSize, kBufferAlignment, 0};
    ALLOCATOR_PROPERTIES actual{};
    bool ready = allocator && SUCCEEDED(allocator->SetProperties(&wanted, &actual)) &&
                 SUCCEEDED(allocator->Commit());
    if (!ready) {
        SetErrorText(kNoBuffersText);
    } else if (!consumer_.Start([this] { Consumer(); }, kConsumerThreadName)) {
        SetErrorText(kNoThreadText);
        ready = false;
    }

    if (ready) {
        g_pacing.Reset();
        bool hadCallback = true;
        uint32_t dueInTick = 0;  // paced bytes of the current tick not yet read
        while (!stopRequest_.load(std::memory_order_acquire)) {
            IMediaSample* sample = nullptr;
            if (allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT) != S_OK) {
                Sleep(kIdleSleepMs);
                continue;
            }
            sample->SetActualDataLength(kBufferSize);
            if (!callback_.load(std::memory_order_acquire)) {
                // Nobody listens: the file stays where it is and the CPU idles.
                sample->Release();
                hadCallback = false;
                Sleep(kIdleSleepMs);
                continue;
            }
            if (!hadCallback) {
                // Resume at the paced rate rather than rushing through the time missed.
                g_pacing.Reset();
                dueInTick = 0;
                hadCallback = true;
            }

            uint32_t block = kBufferSize;
            const bool paced = bitrateLock_.load(std::memory_order_relaxed);
            if (paced) {
                if (dueInTick == 0) {
                    WaitForTick();
                    dueInTick = bitrate_.load(std::memory_order_relaxed) / kBitsPerTickDivisor;
                    if (dueInTick == 0) {
                        // Less than a byte per tick: nothing due yet, which is not the end.
                        sample->Release();
                        continue;
                    }
                }
                // A tick's bytes beyond one buffer go out in further buffers of the same tick.
                block = std::min(dueInTick, kBufferSize);
            } else {
                dueInTick = 0;
            }

            long bytes = 0;
            const ReadOutcome outcome = ReadBlock(sample, block, &bytes);
            if (paced) dueInTick = static_cast<uint32_t>(bytes) < block ? 0 : dueInTick - block;
            if (bytes > 0) {
                sample->SetActualDataLength(bytes);
                const uint32_t w = writeIndex_.load(std::memory_order_relaxed);
                ring_[w].store(sample, std::memory_order_relaxed);
                writeIndex_.store((w + 1) % kRingSlots, std::memory_order_release);
            } else {
                sample->Release();
            }
            if (outcome == ReadOutcome::End) break;
        }
        consumer_.Join();
        ReleaseRing();
    }

    if (allocator) {
        allocator->Decommit();
        allocator->Release();
    }
    deliveryRunning_.store(false, std::memory_order_release);
}

void CFileFeed::Consumer() {
    while (!stopRequest_.load(std::memory_order_acquire)) {
        const uint32_t r = readIndex_.load(std::memory_order_relaxed);
        if (r == writeIndex_.load(std::memory_order_acquire)) {
            // The producer fills the ring before it marks the end, so an empty ring
            // seen after the mark stays empty.
            if (endOfData_.load(std::memory_order_acquire)) {
                if (r == writeIndex_.load(std::memory_order_acquire)) break;
                continue;
            }
            Sleep(kIdleSleepMs);
            continue;
        }
        IMediaSample* sample = ring_[r].exchange(nullptr, std::memory_order_relaxed);
        // The slot is free before the sample goes back to the allocator; otherwise a
        // quick producer could fill the ring round to this slot and make it look empty.
        readIndex_.store((r + 1) % kRingSlots, std::memory_order_release);
        Deliver(sample);
    }
}

void CFileFeed::ReleaseRing() {
    uint32_t r = readIndex_.load(std::memory_order_relaxed);
    const uint32_t w = writeIndex_.load(std::memory_order_acquire);
    for (; r != w; r = (r + 1) % kRingSlots) {
        if (IMediaSample* sample = ring_[r].exchange(nullptr, std::memory_order_relaxed)) sample->Release();
    }
    readIndex_.store(r, std::memory_order_relaxed);
}
