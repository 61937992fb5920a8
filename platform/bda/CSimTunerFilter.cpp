#include "platform/bda/CSimTunerFilter.h"
#include "platform/bda/BdaMediaTypes.h"
#include "platform/bda/CBdaLocator.h"
#include <algorithm>
#include <cstdio>

namespace {
constexpr char16_t kAntennaPin[] = u"Antenna";
constexpr char16_t kOutputPin[] = u"MPEG2 Transport";
constexpr LONG kBufferCount = 8;
// Enough for 10 ms of stream at 150 Mbit/s.
constexpr LONG kBufferSize = 188 * 1024;
constexpr auto kIdleWait = std::chrono::milliseconds(10);
constexpr uint32_t kReadWaitMs = 20;
// Samples carry about this much of the stream, so that latency stays low at any rate.
constexpr uint32_t kSampleMs = 10;
// Class of the device filters; a simulated tuner has no class of its own elsewhere.
constexpr CLSID CLSID_SimTunerDevice = {0x9B0F4E62, 0x7C1D, 0x4A38, {0xB2, 0x6E, 0x3D, 0x51, 0x8A, 0x07, 0xC4, 0x29}};

bool LocatorFits(BdaNetwork network, LocatorKind kind) {
    switch (network) {
    case BdaNetwork::DVBS: return kind == LocatorKind::DVBS;
    case BdaNetwork::DVBC: return kind == LocatorKind::DVBC;
    case BdaNetwork::DVBT: return kind == LocatorKind::DVBT;
    case BdaNetwork::ATSC: return kind == LocatorKind::ATSC;
    }
    return false;
}
}  // namespace

CSimTunerFilter::CSimTunerFilter(size_t index, SimTunerDeclaration declared)
    : CBdaFilter("CSimTunerFilter", CLSID_SimTunerDevice), index_(index), declared_(std::move(declared)) {
    antenna_ = AddInput(kAntennaPin);
    output_ = AddOutput(kOutputPin);
}

CSimTunerFilter::~CSimTunerFilter() { StopStreaming(); }

HRESULT CSimTunerFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_ISimTunerDevice) return GetInterface(static_cast<ISimTunerDevice*>(this), ppv);
    return CBdaFilter::NonDelegatingQueryInterface(riid, ppv);
}

CSimTunerFilter* CSimTunerFilter::FromPin(IPin* pin) {
    if (!pin) return nullptr;
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info)) || !info.pFilter) return nullptr;
    ISimTunerDevice* device = nullptr;
    info.pFilter->QueryInterface(IID_ISimTunerDevice, reinterpret_cast<void**>(&device));
    info.pFilter->Release();
    if (!device) return nullptr;
    device->Release();  // the pin's filter stays alive while the caller holds the pin
    return static_cast<CSimTunerFilter*>(device);
}

bool CSimTunerFilter::Present() const {
    return !declared_.friendlyName || !BdaSimulation::IsVanished(*declared_.friendlyName);
}

bool CSimTunerFilter::Locked() {
    std::lock_guard lock(m_);
    if (!tuned_ || declared_.lockDelayMs < 0) return false;
    return std::chrono::steady_clock::now() >= tunedAt_ + std::chrono::milliseconds(declared_.lockDelayMs);
}

HRESULT CSimTunerFilter::Tune(ITuneRequest* request) {
    if (!request) return E_POINTER;
    if (!Present()) return E_FAIL;
    ComPtr<ILocator> locator;
    if (FAILED(request->get_Locator(locator.ReleaseAndGetAddressOf())) || !locator) return E_INVALIDARG;
    CBdaLocator* own = CBdaLocator::FromLocator(locator.Get());
    if (!own || !LocatorFits(declared_.network, own->Kind())) return E_INVALIDARG;
    std::lock_guard lock(m_);
    tuned_ = true;
    tunedAt_ = std::chrono::steady_clock::now();
    wake_.notify_all();
    return S_OK;
}

LONG CSimTunerFilter::SignalStrength() {
    if (!Present() || !Locked()) return 0;
    // Percent onto 0..0x7FFF: the strength stays positive, which is how callers tell lock.
    const uint32_t level = static_cast<uint32_t>(std::clamp(declared_.signal, 0, 100)) * 0x7FFF / 100;
    return static_cast<LONG>(level << 16);
}

HRESULT CSimTunerFilter::CheckType(CBasePin* pin, const CMediaType* mt) {
    if (pin == antenna_)
        return *mt->Type() == KSDATAFORMAT_TYPE_BDA_ANTENNA && *mt->Subtype() == NetworkProviderClass(declared_.network)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    return IsTransportStream(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSimTunerFilter::ProposeType(CBasePin* pin, int position, CMediaType* mt) {
    if (pin != output_ || position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = TransportStreamType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    return S_OK;
}

void CSimTunerFilter::BufferSize(CBdaOutputPin*, LONG* count, LONG* size) {
    *count = kBufferCount;
    *size = kBufferSize;
}

HRESULT CSimTunerFilter::Stop() {
    StopStreaming();
    return CBdaFilter::Stop();
}

HRESULT CSimTunerFilter::Pause() {
    StopStreaming();
    return CBdaFilter::Pause();
}

HRESULT CSimTunerFilter::Run(REFERENCE_TIME tStart) {
    HRESULT hr = CBdaFilter::Run(tStart);
    if (SUCCEEDED(hr) && output_->IsConnected()) StartStreaming();
    return hr;
}

void CSimTunerFilter::StartStreaming() {
    if (thread_.joinable()) return;
    if (!stream_ && !streamFailed_) {
        std::string error;
        stream_ = PacedStream::Open(declared_.stream, &error);
        if (!stream_) {
            streamFailed_ = true;
            // A person declared this device; the reason nothing flows goes where they look.
            std::fprintf(stderr, "simulated tuner \"%s\": %s\n", declared_.friendlyName.value_or("").c_str(),
                         error.c_str());
        }
    }
    if (!stream_) return;
    stream_->Restart();
    {
        std::lock_guard lock(m_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { Stream(); });
}

void CSimTunerFilter::StopStreaming() {
    {
        std::lock_guard lock(m_);
        stopping_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

void CSimTunerFilter::Stream() {
    const unsigned packet = declared_.stream.file.empty() ? std::max(declared_.stream.packetSize, 1u) : 188u;
    const uint64_t perSample = uint64_t{stream_->Bitrate()} / 8 * kSampleMs / 1000;
    const LONG target = static_cast<LONG>(std::clamp<uint64_t>(perSample / packet * packet, packet,
                                                               uint64_t{kBufferSize} / packet * packet));
    auto stopping = [this] {
        std::lock_guard lock(m_);
        return stopping_;
    };
    for (;;) {
        if (!Locked() || !Present()) {
            std::unique_lock lock(m_);
            if (stopping_) return;
            wake_.wait_for(lock, kIdleWait);
            continue;
        }
        if (stopping()) return;
        IMediaSample* sample = nullptr;
        if (FAILED(output_->GetDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT)) || !sample) {
            std::unique_lock lock(m_);
            wake_.wait_for(lock, std::chrono::milliseconds(1), [this] { return stopping_; });
            continue;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const LONG want = std::min(target, sample->GetSize());
        LONG filled = 0;
        while (filled < want && !stopping() && Present())
            filled += static_cast<LONG>(stream_->Read(data + filled, static_cast<size_t>(want - filled), kReadWaitMs));
        if (filled > 0 && !stopping()) {
            sample->SetActualDataLength(filled);
            output_->Deliver(sample);  // a stopped downstream refuses; the next run goes on
        }
        sample->Release();
    }
}
