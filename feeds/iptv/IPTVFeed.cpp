#include "feeds/iptv/IPTVFeed.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "feeds/RegistrySettings.h"
#include "feeds/iptv/IptvConfigDialog.h"
#include "feeds/iptv/IptvHistoryDialog.h"
#include "net/SocketErrorText.h"
#include "platform/graph/CMemAllocator.h"
#include "platform/system/Tick.h"

namespace {

constexpr const char* kFeedName = "IPTV Feed";
constexpr const char* kFeedDetails = "TCP/IP Network / IPTV";
constexpr const char* kReceiveThreadName = "IPTVReceive";
constexpr const char* kProcessingThreadName = "ProcessingThread";

constexpr uint32_t kLoopbackIPv4 = 0x7F000001;
// How often the delivery thread looks at the no-data rule while nothing comes.
constexpr uint32_t kSilenceCheckMs = 100;
// A socket that keeps failing must not turn the receive loop into a spin.
constexpr DWORD kReceiveErrorPauseMs = 10;
// The largest UDP payload; a sample takes another waiting datagram only with this much room.
constexpr uint32_t kLargestDatagram = 65536;

constexpr const char* kSettingsKey = "IPTVFeed";
constexpr const char* kHistoryKeyFormat = "\\History%u";

constexpr const char* kFailureFormat = "The operation %s failed with the error code %d - %s";
constexpr const char* kBindFormat = "bind(%s)\r\n";

// Texts are cut to the buffer on purpose: a cut message beats none.
template <size_t N, class... Args>
void FormatInto(char (&buffer)[N], const char* format, Args... args) {
    if (std::snprintf(buffer, N, format, args...) < 0) buffer[0] = '\0';
}

int Enable(SocketHandle socket, int level, int option, int value) {
    return SocketSetOption(socket, level, option, &value, sizeof value);
}

// The index of the interface that holds this IPv6 address; 0 when none does.
unsigned InterfaceIndexOfIPv6(const NetAddress& address) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return 0;
    unsigned index = 0;
    for (const ifaddrs* entry = list; entry && index == 0; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET6 || !entry->ifa_name) continue;
        sockaddr_in6 in6;
        std::memcpy(&in6, entry->ifa_addr, sizeof in6);
        if (std::memcmp(&in6.sin6_addr, address.address, 16) == 0) index = ::if_nametoindex(entry->ifa_name);
    }
    ::freeifaddrs(list);
    return index;
}

bool IsZeroAddress(const NetAddress& address) {
    static constexpr uint8_t zero[16] = {};
    return std::memcmp(address.address, zero, sizeof zero) == 0;
}

std::string HistoryKey(const std::string& key, size_t index) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, kHistoryKeyFormat, static_cast<unsigned>(index));
    return key + suffix;
}

sockaddr_storage ToStorage(const NetAddress& address) {
    sockaddr_storage storage;
    NetAddressToSockaddr(address, storage);
    return storage;
}

}  // namespace

CIPTVFeed::CIPTVFeed(uint32_t /*unused*/)
    : pump_({kAllocatorName, kBufferCount, kDefaultSampleSize, kReceiveThreadName, kProcessingThreadName,
             kSilenceCheckMs},
            {[this](IMediaSample* sample) { DeliverSample(sample); }, [this] { CheckForSilence(); },
             [this] { noData_.store(true, std::memory_order_relaxed); }}) {
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
    const bool receiving = !noData_.load(std::memory_order_relaxed) && sync_.InSync();
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
        IptvSettings chosen;
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

void CIPTVFeed::AddToHistory(const IptvSettings& settings) {
    if (std::find(history_.begin(), history_.end(), settings) != history_.end()) return;
    std::move_backward(history_.begin(), history_.end() - 1, history_.end());
    history_[0] = settings;
}

bool CIPTVFeed::IsLocalUnicast(const NetAddress& address) {
    const uint32_t ipv4 = NetAddressIPv4(address);
    if (ipv4 == kLoopbackIPv4) return true;
    std::vector<NetAddress> local;
    if (!LocalIPv4AddressList(local)) return false;
    const NetAddress wanted = MakeIPv4Address(ipv4, 0);
    return std::find(local.begin(), local.end(), wanted) != local.end();
}

void CIPTVFeed::SetFailure(const char* operation, int errorCode) {
    FormatInto(errorBuffer_, kFailureFormat, operation, errorCode, SocketErrorText(errorCode));
    SetErrorText(errorBuffer_);
}

void CIPTVFeed::SetFailureText(const char* text) {
    FormatInto(errorBuffer_, "%s", text);
    SetErrorText(errorBuffer_);
}

SocketHandle CIPTVFeed::OpenSocket(const IptvSettings& settings) {
    const NetAddress& group = settings.group;
    const SocketHandle s = SocketCreate(group.family, SOCK_DGRAM, IPPROTO_UDP);
    if (s == kInvalidSocket) {
        SetFailure("socket()", LastSocketError());
        return kInvalidSocket;
    }
    const auto fail = [&](const char* operation, int code) {
        SetFailure(operation, code);
        SocketClose(s);
        return kInvalidSocket;
    };

    // Beyond the system's ceiling only with privilege; without it the plain option
    // grants what the ceiling allows.
    if (Enable(s, SOL_SOCKET, SO_RCVBUFFORCE, kSocketReceiveBufferBytes) != 0 &&
        Enable(s, SOL_SOCKET, SO_RCVBUF, kSocketReceiveBufferBytes) != 0) {
        return fail("setsockopt(SO_RCVBUF)", LastSocketError());
    }
    if (Enable(s, SOL_SOCKET, SO_REUSEADDR, 1) != 0) return fail("setsockopt(SO_REUSEADDR)", LastSocketError());
    // IPv6 sockets of the other platform take IPv6 alone.
    if (group.family == kNetFamilyIPv6) Enable(s, IPPROTO_IPV6, IPV6_V6ONLY, 1);

    const bool multicast = IsMulticast(group);
    NetAddress bindAddress = group;
    if (multicast) {
        // Here a socket bound to an interface's own address never sees multicast: bind
        // the wildcard with the group's port, take only the groups joined on this
        // socket, and let the join choose the interface.
        std::memset(bindAddress.address, 0, sizeof bindAddress.address);
        if (group.family == kNetFamilyIPv4) {
            Enable(s, IPPROTO_IP, IP_MULTICAST_ALL, 0);
        } else {
            Enable(s, IPPROTO_IPV6, IPV6_MULTICAST_ALL, 0);
        }
    }
    if (SocketBind(s, bindAddress) != 0) {
        const int code = LastSocketError();
        std::string where;
        FormatNetAddress(bindAddress, where, true);
        char operation[kTextBufferSize];
        FormatInto(operation, kBindFormat, where.c_str());
        return fail(operation, code);
    }
    if (multicast && !JoinGroup(s, settings)) {
        SocketClose(s);
        return kInvalidSocket;
    }
    return s;
}

bool CIPTVFeed::JoinGroup(SocketHandle s, const IptvSettings& settings) {
    static constexpr const char* kSourceFamilyText =
        "The multicast source address is not of the group's address family.";
    static constexpr const char* kNoSuchInterfaceText =
        "The multicast interface address is not an address of this computer.";
    const NetAddress& group = settings.group;
    const NetAddress& interfaceAddress = settings.interfaceAddress;
    const NetAddress& source = settings.source;
    const bool sourceSpecific = settings.ssm != 0 && !IsMulticast(source);
    if (sourceSpecific && source.family != group.family) {
        SetFailureText(kSourceFamilyText);
        return false;
    }

    if (group.family == kNetFamilyIPv4) {
        // An interface of no family, or of the other family, leaves the choice to the system.
        in_addr local{};
        if (interfaceAddress.family == kNetFamilyIPv4) std::memcpy(&local, interfaceAddress.address, 4);
        if (sourceSpecific) {
            ip_mreq_source request{};
            std::memcpy(&request.imr_multiaddr, group.address, 4);
            std::memcpy(&request.imr_sourceaddr, source.address, 4);
            request.imr_interface = local;
            if (SocketSetOption(s, IPPROTO_IP, IP_ADD_SOURCE_MEMBERSHIP, &request, sizeof request) != 0) {
                SetFailure("setsockopt(IP_ADD_SOURCE_MEMBERSHIP)", LastSocketError());
                return false;
            }
            return true;
        }
        ip_mreq request{};
        std::memcpy(&request.imr_multiaddr, group.address, 4);
        request.imr_interface = local;
        if (JoinGroupWithFallback(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
            SetFailure("setsockopt(IP_ADD_MEMBERSHIP)", LastSocketError());
            return false;
        }
        return true;
    }

    // IPv6: a group that is bound but never joined receives nothing on most networks,
    // so the group is joined like an IPv4 one.
    unsigned interfaceIndex = 0;
    if (interfaceAddress.family == kNetFamilyIPv6 && !IsZeroAddress(interfaceAddress)) {
        interfaceIndex = InterfaceIndexOfIPv6(interfaceAddress);
        if (interfaceIndex == 0) {
            SetFailureText(kNoSuchInterfaceText);
            return false;
        }
    }
    if (sourceSpecific) {
        group_source_req request{};
        request.gsr_interface = interfaceIndex;
        request.gsr_group = ToStorage(group);
        request.gsr_source = ToStorage(source);
        if (SocketSetOption(s, IPPROTO_IPV6, MCAST_JOIN_SOURCE_GROUP, &request, sizeof request) != 0) {
            SetFailure("setsockopt(MCAST_JOIN_SOURCE_GROUP)", LastSocketError());
            return false;
        }
        return true;
    }
    ipv6_mreq request{};
    std::memcpy(&request.ipv6mr_multiaddr, group.address, 16);
    request.ipv6mr_interface = interfaceIndex;
    if (JoinGroupWithFallback(s, IPPROTO_IPV6, IPV6_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
        SetFailure("setsockopt(IPV6_ADD_MEMBERSHIP)", LastSocketError());
        return false;
    }
    return true;
}

bool CIPTVFeed::Start(int32_t /*unused*/) {
    static constexpr const char* kUnicastFormat =
        "You entered a unicast IP Address (%s). In this case, you have to enter a local IP-address (and port "
        "number) of this PC and not the address of the sending device/PC.\n";
    static constexpr const char* kNoBuffersText = "Out of memory for the receive buffers";
    static constexpr const char* kNoThreadText = "Unable to start the IPTV feed threads";

    std::lock_guard control(controlLock_);
    // Reception that is still going, or winding down after a stop, ends first; its
    // threads end within a few milliseconds once the socket is shut down.
    Stop();
    pump_.Join();

    sync_.Reset();
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

    if (!IsMulticast(settings.group) && settings.group.family == kNetFamilyIPv4 &&
        !IsLocalUnicast(settings.group)) {
        std::string address;
        FormatNetAddress(settings.group, address, false);
        FormatInto(unicastHint_, kUnicastFormat, address.c_str());
        SetErrorText(unicastHint_);
        return false;
    }

    const SocketHandle s = OpenSocket(settings);
    if (s == kInvalidSocket) return false;

    if (!unwrapper_ || unwrapper_->Mode() != mode) {
        unwrapper_ = std::make_unique<RtpReceiver>(mode);
        unwrapper_->SetCallbacks(this, OnPayload, OnRtpLoss);
    }
    unwrapper_->ResetSequence();

    rtpLost_.store(0, std::memory_order_relaxed);
    datagrams_.store(0, std::memory_order_relaxed);
    bytesDropped_.store(0, std::memory_order_relaxed);
    {
        std::lock_guard lock(socketLock_);
        socket_ = s;
    }
    const CFeedPump::StartResult started = pump_.Start([this, s] { ReceiveLoop(s); }, sampleSize);
    if (started == CFeedPump::StartResult::Started) return true;
    {
        std::lock_guard lock(socketLock_);
        socket_ = kInvalidSocket;
    }
    SocketClose(s);
    SetFailureText(started == CFeedPump::StartResult::NoBuffers ? kNoBuffersText : kNoThreadText);
    return false;
}

void CIPTVFeed::OnPayload(void* context, const uint8_t* data, int length) {
    auto* self = static_cast<CIPTVFeed*>(context);
    if (!data || length <= 0) return;
    const uint32_t room = self->fillCapacity_ - self->fillLevel_;
    const uint32_t taken = std::min(room, static_cast<uint32_t>(length));
    if (taken) std::memcpy(self->fillData_ + self->fillLevel_, data, taken);
    self->fillLevel_ += taken;
    if (taken < static_cast<uint32_t>(length)) {
        self->bytesDropped_.fetch_add(static_cast<uint32_t>(length) - taken, std::memory_order_relaxed);
    }
}

void CIPTVFeed::OnRtpLoss(void* context, int received, int expected) {
    auto* self = static_cast<CIPTVFeed*>(context);
    // A step back (a late packet or a restarted sender) is no loss.
    const uint32_t gap = static_cast<uint32_t>(received - expected) & 0xFFFF;
    if (gap < 0x8000) self->rtpLost_.fetch_add(gap, std::memory_order_relaxed);
}

void CIPTVFeed::ReceiveLoop(SocketHandle s) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kReceiveBufferSize]);
    while (IMediaSample* sample = pump_.GetBuffer()) {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        fillData_ = data;
        fillCapacity_ = static_cast<uint32_t>(sample->GetSize());
        fillLevel_ = 0;
        bool ended = false;  // by a receive error, a closed socket or an empty datagram
        do {
            const int length = SocketRecv(s, buffer.get(), static_cast<int>(kReceiveBufferSize));
            if (length <= 0) {
                if (length < 0 && !pump_.StopRequested()) pump_.WaitForStop(kReceiveErrorPauseMs);
                ended = true;
                break;
            }
            if (fillLevel_ == 0) lastDeliveryTime_.store(GetTickCount(), std::memory_order_relaxed);
            datagrams_.fetch_add(1, std::memory_order_relaxed);
            unwrapper_->OnDatagram(buffer.get(), length);
        } while (fillLevel_ < kMinimumSampleSize);

        // Datagrams that are already waiting go into the same sample, as long as a
        // whole one still fits: nothing waits for more, and a fast stream no longer
        // costs a sample, a ring slot and a queue entry per datagram.
        while (!ended && !pump_.StopRequested() && fillCapacity_ - fillLevel_ >= kLargestDatagram) {
            const ssize_t more = ::recv(s, buffer.get(), kReceiveBufferSize, MSG_DONTWAIT);
            if (more <= 0) break;
            datagrams_.fetch_add(1, std::memory_order_relaxed);
            unwrapper_->OnDatagram(buffer.get(), static_cast<int>(more));
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
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    sync_.Update(data, static_cast<size_t>(sample->GetActualDataLength()), packetSize_);
    const DataCallback callback = callback_.load(std::memory_order_acquire);
    if (callback) {
        callback(callbackContext_.load(std::memory_order_relaxed), sample);
    } else {
        sample->Release();
    }
    lastHandOver_.store(GetTickCount(), std::memory_order_relaxed);
    noData_.store(false, std::memory_order_relaxed);
}

void CIPTVFeed::CheckForSilence() {
    const uint32_t now = GetTickCount();
    const uint32_t last = lastHandOver_.load(std::memory_order_relaxed);
    // A tick count below the last hand-over means the counter wrapped.
    if (!noData_.load(std::memory_order_relaxed) && (now < last || now - last >= kNoDataTimeoutMs)) {
        noData_.store(true, std::memory_order_relaxed);
    }
}
