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

constexpr long kSniffMinimum = 205;
constexpr DWORD kIdleSleepMs = 10;
// Bytes due per tick: bits per second / 8 bits / 10 ticks per second.
constexpr uint32_t kBitsPerTickDivisor = 8 * (1000 / CPacingSchedule::kTickMs);

CPacingSchedule g_pacing;

}  // namespace

CFileFeed::CFileFeed(uint32_t /*unused*/)
    : pump_({kAllocatorName, kBufferCount, kBufferSize, kProducerThreadName, kConsumerThreadName},
            {[this](IMediaSample* sample) { Deliver(sample); }, {}, {}}) {
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
    pump_.Join();
}

void CFileFeed::SetPlainFileName(const char* name) {
    SetText(fileName_, name);
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
            // Threads told to wind down may already have lost their delivery thread:
            // they are waited for and a fresh pair is launched. Decided under the file
            // lock, where Stop and the end of data are set, so a pair that is still
            // playing here keeps playing with the reopened file.
            const bool windingDown =
                pump_.Running() && (pump_.StopRequested() || endOfData_.load(std::memory_order_acquire));
            if (!windingDown) return StartLocked();
        }
        pump_.Join();
    }
}

bool CFileFeed::StartLocked() {
    SetErrorText(nullptr);
    SetLastError(0);

    // Opening a FIFO would wait for a writer that may never come.
    struct stat st;
    if (::stat(fileName_, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        file_.Close();
        pump_.RequestStop();
        SetErrorText(kNotRegularFileText);
        return false;
    }
    if (!file_.Open(fileName_, SharedFile::Access::Sequential)) {
        // Running threads have nothing left to read.
        pump_.RequestStop();
        SetSystemError(file_.LastError());
        return false;
    }

    uint8_t sniff[kPacketSizeSniffBytes] = {};
    const long sniffed = file_.Read(sniff, sizeof sniff);
    if (sniffed >= kSniffMinimum) packetSize_ = static_cast<uint8_t>(DetectPacketSize(sniff, sniffed));
    // Rewound whatever the sniff found, so that a file too short to tell its packet
    // size is still played.
    file_.Seek(0);

    endOfData_.store(false, std::memory_order_release);
    if (pump_.Running()) return true;
    // The fill thread of the last run is past its last use of the file lock, so
    // waiting for it here cannot block it.
    const CFeedPump::StartResult started = pump_.Start([this] { ReadAndPace(); });
    if (started == CFeedPump::StartResult::Started) return true;
    file_.Close();
    SetErrorText(started == CFeedPump::StartResult::NoBuffers ? kNoBuffersText : kNoThreadText);
    return false;
}

void CFileFeed::Stop() {
    CAutoLock lock(&fileLock_);
    pump_.RequestStop();
    file_.Close();
}

bool CFileFeed::WaitForDeliveryEnd(DWORD timeoutMs) {
    std::lock_guard control(control_);
    return pump_.Join(timeoutMs);
}

void CFileFeed::SetSystemError(int code) {
    SetText(errorBuffer_, SystemErrorText(static_cast<uint32_t>(code)));
    SetErrorText(errorBuffer_);
}

void CFileFeed::WaitForTick() {
    if (const uint32_t ms = g_pacing.Step(GetTickCount())) pump_.WaitForStop(ms);
}

CFileFeed::ReadOutcome CFileFeed::ReadBlock(IMediaSample* sample, uint32_t block, long* bytes) {
    *bytes = 0;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    CAutoLock lock(&fileLock_);
    if (pump_.StopRequested()) return ReadOutcome::Data;

    // A block of 0 bytes (a bitrate below one byte per tick) reads nothing and so ends
    // the file like any other empty read.
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

void CFileFeed::ReadAndPace() {
    g_pacing.Reset();
    uint32_t dueInTick = 0;  // paced bytes of the current tick not yet read
    while (IMediaSample* sample = pump_.GetBuffer()) {
        sample->SetActualDataLength(kBufferSize);
        if (!callback_.load(std::memory_order_acquire)) {
            // Nobody listens: the file stays where it is and the CPU idles.
            sample->Release();
            pump_.WaitForStop(kIdleSleepMs);
            continue;
        }

        uint32_t block = kBufferSize;
        const bool paced = bitrateLock_.load(std::memory_order_relaxed);
        if (paced) {
            if (dueInTick == 0) {
                WaitForTick();
                dueInTick = bitrate_.load(std::memory_order_relaxed) / kBitsPerTickDivisor;
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
            pump_.Push(sample);
        } else {
            sample->Release();
        }
        if (outcome == ReadOutcome::End) break;
    }
}
