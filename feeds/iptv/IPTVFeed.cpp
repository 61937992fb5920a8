#include "feeds/iptv/IPTVFeed.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "feeds/RegistrySettings.h"
#include "feeds/iptv/DatagramBatch.h"
#include "feeds/iptv/IptvConfigDialog.h"
#include "feeds/iptv/IptvHistoryDialog.h"
#include "net/SocketErrorText.h"
#include "net/ReceiveSocket.h"
#include "platform/system/Tick.h"

namespace {

constexpr const char* kFeedName = "IPTV Feed";
constexpr const char* kFeedDetails = "TCP/IP Network / IPTV";
constexpr const char* kReceiveThreadName = "IPTVReceive";
constexpr const char* kProcessingThreadName = "ProcessingThread";

constexpr uint32_t kLoopbackIPv4 = 0x7F000001;
// How often the delivery thread looks at the no-data rule while nothing comes.
constexpr uint32_t kSilenceCheckMs = 100;
// While datagrams flow, samples are handed on at least this often rather than each
// with a wake-up of its own; at most this much later than they would be.
constexpr uint32_t kDeliveryCoalesceMs = 2;
// A socket that keeps failing must not turn the receive loop into a spin.
constexpr DWORD kReceiveErrorPauseMs = 10;
// Datagrams fetched by one system call at most.
constexpr uint32_t kBatchSlots = 16;
// While datagrams flow, the receive thread takes them at most this often; the socket's
// buffer holds far more than arrives meanwhile.
constexpr uint32_t kReceiveNapMs = 1;

constexpr const char* kSettingsKey = "IPTVFeed";
constexpr const char* kHistoryKeyFormat = "\\History%u";

constexpr const char* kFailureFormat = "The operation %s failed with the error code %d - %s";

// Texts are cut to the buffer on purpose: a cut message beats none.
template <size_t N, class... Args>
void FormatInto(char (&buffer)[N], const char* format, Args... args) {
    if (std::snprintf(buffer, N, format, args...) < 0) buffer[0] = '\0';
}

std::string HistoryKey(const std::string& key, size_t index) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, kHistoryKeyFormat, static_cast<unsigned>(index));
    return key + suffix;
}

}  // namespace

CIPTVFeed::CIPTVFeed(uint32_t /*unused*/)
    : pump_({kAllocatorName, kBufferCount, kDefaultSampleSize, kReceiveThreadName, kProcessingThreadName,
             kSilenceCheckMs, kDeliveryCoalesceMs},
            {[this](IMediaSample* sample) { DeliverSample(sample); }, [this] { handOver_.CheckForSilence(); },
             [this] { handOver_.MarkNoData(); }}) {
    type_ = kFeedIptv;
    capabilities_ |= kCapIpNetwork;
    SetText(name_, kFeedName);
    SetText(description_, kFeedName);
    SetText(details_, kFeedDetails);
}

CIPTVFeed::~CIPTVFeed() {
    Stop();
    std::lock_guard control(controlLock_);
    // The receive thread closes the socket before it ends; nothing of this object may
    // be freed under it.
    pump_.Join();
}

IptvSettings CIPTVFeed::Settings() const {
    std::lock_guard lock(settingsLock_);
    return settings_;
}

void CIPTVFeed::SetSettings(const IptvSettings& settings) {
    std::lock_guard lock(settingsLock_);
    settings_ = settings;
}

void CIPTVFeed::SetGroup(const NetAddress& groupWithPort) {
    std::lock_guard lock(settingsLock_);
    settings_.group = groupWithPort;
}

void CIPTVFeed::SetInterface(const NetAddress& interfaceAddress) {
    std::lock_guard lock(settingsLock_);
    settings_.interfaceAddress = interfaceAddress;
}

void CIPTVFeed::SetSource(const NetAddress& source) {
    std::lock_guard lock(settingsLock_);
    settings_.source = source;
    settings_.ssm = 1;
}

void CIPTVFeed::ClearSource() {
    std::lock_guard lock(settingsLock_);
    settings_.ssm = 0;
}

void CIPTVFeed::SetRtpMode(RtpMode mode) {
    std::lock_guard lock(settingsLock_);
    rtpMode_ = mode;
}

RtpMode CIPTVFeed::GetRtpMode() const {
    std::lock_guard lock(settingsLock_);
    return rtpMode_;
}

void CIPTVFeed::SetSampleSize(uint32_t bytes) {
    std::lock_guard lock(settingsLock_);
    sampleSize_ = std::max(bytes, kMinimumSampleSize);
}

uint32_t CIPTVFeed::SampleSize() const {
    std::lock_guard lock(settingsLock_);
    return sampleSize_;
}

CIPTVFeed::History CIPTVFeed::GetHistory() const {
    std::lock_guard lock(settingsLock_);
    return history_;
}

void CIPTVFeed::SetHistory(const History& history) {
    std::lock_guard lock(settingsLock_);
    history_ = history;
}

uint8_t CIPTVFeed::GetStatus() {
    const bool receiving = !handOver_.NoData() && handOver_.InSync();
    return receiving ? kStatusReceiving : kStatusNoSignal;
}

bool CIPTVFeed::LoadSettings(const char* application) {
    const std::string key = FeedSettingsKey(application, kSettingsKey);
    std::lock_guard lock(settingsLock_);
    ReadIptvSettings(key.c_str(), settings_);
    for (size_t i = 0; i < kHistorySize; ++i) ReadIptvSettings(HistoryKey(key, i).c_str(), history_[i]);
    if (settings_.group.family == kNetFamilyIPv4 && NetAddressIPv4(settings_.group) == 0) {
        const uint16_t port = NetAddressPort(settings_.group);
        settings_.group = MakeIPv4Address(kLoopbackIPv4, port);
    }
    if (NetAddressPort(settings_.group) == 0) SetNetAddressPort(settings_.group, IptvSettings::kDefaultPort);
    return true;
}

bool CIPTVFeed::SaveSettings(const char* application) {
    const std::string key = FeedSettingsKey(application, kSettingsKey);
    std::lock_guard lock(settingsLock_);
    bool ok = true;
    for (size_t i = 0; i < kHistorySize; ++i) {
        const NetAddress& group = history_[i].group;
        uint32_t leading;
        std::memcpy(&leading, group.address, sizeof leading);
        if (leading != 0 && group.port != 0) ok = WriteIptvSettings(HistoryKey(key, i).c_str(), history_[i]) && ok;
    }
    return WriteIptvSettings(key.c_str(), settings_) && ok;
}

bool CIPTVFeed::ShowConfigDialog(HWND parent, const char* option, const uint8_t* /*descriptor*/) {
    // A dialog that could not be shown (-1) was not confirmed either.
    if (option && std::strcmp(option, kHistoryOption) == 0) {
        const History history = GetHistory();
        // OK with nothing selected confirms what the feed already has.
        IptvSettings chosen = Settings();
        CIptvHistoryDialog dialog(history, chosen);
        if (dialog.DoModal(parent) <= 0) return false;
        SetSettings(chosen);
        WriteIptvSettings(FeedSettingsKey(kDefaultApplication, kSettingsKey).c_str(), chosen);
        return true;
    }
    IptvSettings edited = Settings();
    CIptvConfigDialog dialog(edited);
    if (dialog.DoModal(parent) <= 0) return false;
    SetSettings(edited);
    return true;
}

void CIPTVFeed::Stop() {
    std::lock_guard lock(socketLock_);
    pump_.RequestStop();
    // Shutting down wakes the blocked receive at once; the receive thread closes the
    // socket once it is done with it, so its number cannot be reused under the thread.
    if (socket_ != kInvalidSocket) ::shutdown(socket_, SHUT_RDWR);
}

uint16_t CIPTVFeed::LocalPort() {
    std::lock_guard lock(socketLock_);
    NetAddress local{};
    if (socket_ == kInvalidSocket || SocketLocalAddress(socket_, local) != 0) return 0;
    return NetAddressPort(local);
}

void CIPTVFeed::AddToHistory(const IptvSettings& settings) {
    if (std::find(history_.begin(), history_.end(), settings) != history_.end()) return;
    std::move_backward(history_.begin(), history_.end() - 1, history_.end());
    history_[0] = settings;
}

void CIPTVFeed::SetFailure(const char* operation, int errorCode) {
    FormatInto(errorBuffer_, kFailureFormat, operation, errorCode, SocketErrorText(errorCode));
    SetErrorText(errorBuffer_);
}

void CIPTVFeed::SetFailureText(const char* text) {
    SetText(errorBuffer_, text);
    SetErrorText(errorBuffer_);
}

SocketHandle CIPTVFeed::OpenSocket(const IptvSettings& settings) {
    static constexpr const char* kUnicastFormat =
        "You entered a unicast IP Address (%s). In this case, you have to enter a local IP-address (and port "
        "number) of this PC and not the address of the sending device/PC.\n";
    static constexpr const char* kSourceFamilyText =
        "The multicast source address is not of the group's address family.";
    static constexpr const char* kNoSuchInterfaceText =
        "The multicast interface address is not an address of this computer.";
    ReceiveSocketRequest request;
    request.address = settings.group;
    request.interfaceAddress = settings.interfaceAddress;
    request.sourceSpecific = settings.ssm != 0;
    request.source = settings.source;
    request.protocol = IPPROTO_UDP;
    request.reuseRequired = true;
    request.requireLocalUnicast = true;
    ReceiveSocketError error;
    const SocketHandle s = OpenReceiveSocket(request, error);
    switch (error.failure) {
        case ReceiveSocketFailure::None:
            break;
        case ReceiveSocketFailure::NotLocalUnicast: {
            std::string address;
            FormatNetAddress(settings.group, address, false);
            FormatInto(unicastHint_, kUnicastFormat, address.c_str());
            SetErrorText(unicastHint_);
            break;
        }
        case ReceiveSocketFailure::Operation:
            SetFailure(error.operation.c_str(), error.errorCode);
            break;
        case ReceiveSocketFailure::SourceFamily:
            SetFailureText(kSourceFamilyText);
            break;
        case ReceiveSocketFailure::NoSuchInterface:
            SetFailureText(kNoSuchInterfaceText);
            break;
    }
    return s;
}

bool CIPTVFeed::Start(int32_t /*unused*/) {
    static constexpr const char* kNoBuffersText = "Out of memory for the receive buffers";
    static constexpr const char* kNoThreadText = "Unable to start the IPTV feed threads";

    std::lock_guard control(controlLock_);
    // Reception that is still going, or winding down after a stop, ends first; its
    // threads end within a few milliseconds once the socket is shut down.
    Stop();
    pump_.Join();

    handOver_.ResetSync();
    SetErrorText(nullptr);
    IptvSettings settings;
    RtpMode mode;
    uint32_t sampleSize;
    {
        std::lock_guard lock(settingsLock_);
        AddToHistory(settings_);
        settings = settings_;
        mode = rtpMode_;
        sampleSize = sampleSize_;
    }

    const SocketHandle s = OpenSocket(settings);
    if (s == kInvalidSocket) return false;

    unwrapper_ = RtpUnwrapper(mode);

    rtpLost_.store(0, std::memory_order_relaxed);
    datagrams_.store(0, std::memory_order_relaxed);
    bytesDropped_.store(0, std::memory_order_relaxed);
    CFeedPump::StartResult started;
    {
        // Under the socket mutex, so that a Stop from another thread lands either
        // before the socket is known (and this start wins) or after the threads run.
        // The receive thread takes the mutex only as it ends, which the earlier join
        // made sure is not this run.
        std::lock_guard lock(socketLock_);
        socket_ = s;
        started = pump_.Start([this, s] { ReceiveLoop(s); }, sampleSize);
        if (started != CFeedPump::StartResult::Started) socket_ = kInvalidSocket;
    }
    if (started == CFeedPump::StartResult::Started) return true;
    SocketClose(s);
    SetFailureText(started == CFeedPump::StartResult::NoBuffers ? kNoBuffersText : kNoThreadText);
    return false;
}

void CIPTVFeed::Take(const uint8_t* datagram, int length) {
    datagrams_.fetch_add(1, std::memory_order_relaxed);
    const RtpUnwrapResult result = unwrapper_.Unwrap({datagram, static_cast<size_t>(length)});
    if (result.expectedSequence >= 0) rtpLost_.store(unwrapper_.Lost(), std::memory_order_relaxed);
    if (result.verdict == RtpVerdict::Drop) return;
    const uint32_t size = static_cast<uint32_t>(result.data.size());
    const uint32_t taken = std::min(fillCapacity_ - fillLevel_, size);
    if (taken) std::memcpy(fillData_ + fillLevel_, result.data.data(), taken);
    fillLevel_ += taken;
    if (taken < size) bytesDropped_.fetch_add(size - taken, std::memory_order_relaxed);
}

void CIPTVFeed::ReceiveLoop(SocketHandle s) {
    DatagramBatch batch(kBatchSlots);
    bool flowing = false;  // the last wait for datagrams found some
    while (IMediaSample* sample = pump_.GetBuffer()) {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        fillData_ = data;
        fillCapacity_ = static_cast<uint32_t>(sample->GetSize());
        fillLevel_ = 0;
        for (;;) {
            const uint8_t* datagram = nullptr;
            uint32_t length = 0;
            const bool gathered = fillLevel_ >= kMinimumSampleSize;
            if (!batch.Peek(&datagram, &length)) {
                // Past a packet's worth only datagrams already waiting join the sample,
                // and only while a whole one still fits: nothing waits for more, and a
                // fast stream does not cost a sample and a hand-over per datagram.
                const uint32_t room = fillCapacity_ - fillLevel_;
                if (gathered && (batch.Drained() || room < DatagramBatch::kSlotSize || pump_.StopRequested())) break;
                const uint32_t most = room / DatagramBatch::kSlotSize;
                if (!gathered && flowing) {
                    // While datagrams flow, a short nap and one call take all that came
                    // meanwhile: one wake-up per nap instead of one per datagram.
                    if (pump_.WaitForStop(kReceiveNapMs)) break;
                    flowing = batch.Fetch(s, false, most) > 0;
                    if (flowing) continue;
                }
                const int fetched = batch.Fetch(s, !gathered, most);
                if (fetched > 0) {
                    flowing = true;
                    continue;
                }
                if (gathered) break;
                // A receive error or a closed socket ends the sample; a socket that
                // keeps failing must not turn this loop into a spin.
                if (!pump_.StopRequested()) pump_.WaitForStop(kReceiveErrorPauseMs);
                break;
            }
            if (length == 0) {
                // An empty datagram ends the sample. Met past a packet's worth, it is
                // kept for the next sample, which it ends empty, as it would have been
                // had the sample gone out at a packet's worth.
                if (!gathered) batch.Consume();
                break;
            }
            batch.Consume();
            if (fillLevel_ == 0) lastDeliveryTime_.store(GetTickCount(), std::memory_order_relaxed);
            Take(datagram, length);
        }

        // The sample goes out with what it holds, possibly nothing; what a stop cut
        // short is not delivered anyway.
        if (!pump_.StopRequested() && callback_.load(std::memory_order_acquire)) {
            sample->SetActualDataLength(static_cast<LONG>(fillLevel_));
            pump_.Push(sample);
        } else {
            sample->Release();
        }
    }
    fillData_ = nullptr;
    fillCapacity_ = fillLevel_ = 0;

    std::lock_guard lock(socketLock_);
    if (socket_ == s) socket_ = kInvalidSocket;
    ::close(s);
}

void CIPTVFeed::DeliverSample(IMediaSample* sample) {
    handOver_.Deliver(sample, packetSize_, callback_.load(std::memory_order_acquire),
                      callbackContext_.load(std::memory_order_relaxed));
}

