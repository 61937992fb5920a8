#include "feeds/bda/BDAFeed.h"

#include <cstdio>

#include "feeds/DeliveryDescriptor.h"
#include "feeds/bda/BdaCableDialog.h"
#include "feeds/bda/BdaConnectLog.h"
#include "feeds/bda/BdaDeliverySystem.h"
#include "feeds/bda/BdaGraphHelpers.h"
#include "feeds/bda/BdaSatelliteDialog.h"
#include "feeds/bda/BdaSelectTypeDialog.h"
#include "feeds/bda/BdaSettings.h"
#include "feeds/bda/BdaTerrestrialDialog.h"
#include "feeds/bda/BdaTuneRequestPlan.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"

namespace {

constexpr const char* kInvalidName = "invalid";
constexpr const char* kDescriptionFormat = "BDA: %s";
constexpr LONG kAnyNetwork = 0xFFFF;
constexpr uint32_t kServiceIdMask = 0xFFFF;
constexpr unsigned kFirstRenderedDemuxPin = 0;
constexpr unsigned kSecondRenderedDemuxPin = 4;

constexpr const char* kNoGraphBuilder = "Unable to create Directshow graph builder. Please repair/install DirectX !";
constexpr const char* kUnsupportedType = "Unsupported BDA network provider type.";
constexpr const char* kNoNetworkProvider =
    "Unable to create Directshow BDA network provider. Please repair/install DirectX or the TV card drivers.";
constexpr const char* kCannotAddProvider = "Unable to add network provider to filter graph.";
constexpr const char* kNoTunerInterface = "Unable to get tuner interface from network provider.";
constexpr const char* kNoSpaceContainer =
    "Unable to create BDA tuning space container. Please repair your DirectX/Directshow installation.";
constexpr const char* kNoTuningSpace = "Unable to find correct tuningspace.";
constexpr const char* kNoTuneRequest = "Unable to build BDA tune request.";
constexpr const char* kNoTuner = "Unable to initialize the selected BDA driver.";
constexpr const char* kNoProviderOutput = "Unable to get BDA network provider output pin.";
constexpr const char* kNoTunerInput = "Unable to get BDA tuner input pin.";
constexpr const char* kCannotConnectTuner = "Unable to connect tuner to BDA network provider.";
constexpr const char* kNoTee =
    "Unable to load DirectX/Directshow tee filter. Please repair your DirectX/Directshow installation.";
constexpr const char* kNoDemux =
    "Unable to load Microsoft MPEG2 demultiplexer filter. Please repair your DirectX/Directshow installation.";
constexpr const char* kNoExportFilter =
    "Unable to load the Velmar Directshow TS export filter. Please reinstall this application.";
constexpr const char* kCannotAddTee = "Unable to add tee filter to filter graph.";
constexpr const char* kCannotAddDemux = "Unable to add Microsoft MPEG2 demultiplexer filter to filter graph.";
constexpr const char* kNoCaptureOutput = "Unable to get BDA capture output pin.";
constexpr const char* kNoTeeInput = "Unable to get tee filter input pin.";
constexpr const char* kCannotConnectCapture =
    "Unable to connect BDA capture filter. Please update to the latest driver version and try again. If the "
    "problem persists, this BDA device might be unable to provide a complete transport stream, making it "
    "incompatible to this application. ";
constexpr const char* kNoTeeOutput = "Unable to get tee filter output pin.";
constexpr const char* kNoDemuxInput = "Unable to get Demux input pin.";
constexpr const char* kCannotConnectDemux = "Unable to connect demux filter to the tee filter.";
constexpr const char* kNoSecondTeeOutput = "Unable to get 2nd tee filter output pin.";
constexpr const char* kNoExportInput = "Unable to get Velmar DS Export input pin.";
constexpr const char* kCannotConnectExport =
    "Unable to connect helper filter. Your BDA drivers are not compatible to this software.A debug log "
    "(C:\\Brix BDA Log.txt) has been created.";
constexpr const char* kNoExportInterface = "Unable to get Velmar DS Export interface.";
constexpr const char* kNoMediaControl = "Unable to get IMediaControl interface.";

bool Connected(HRESULT result) { return result == S_OK; }

}  // namespace

CBDAFeed::CBDAFeed(uint32_t deviceIndex) : lastSelectedType_(kFeedDvbT) {
    SetText(name_, kInvalidName);
    const auto friendly = NetworkTunerName(deviceIndex);
    if (!friendly) return;
    const std::string name = WideToUtf8(*friendly);
    SetText(name_, name.c_str());
    char description[kFeedTextSize] = {};
    std::snprintf(description, sizeof description, kDescriptionFormat, name.c_str());
    SetText(description_, description);
    SetText(details_, description);

    int32_t type = ClassifyBdaDetails(details_);
    if (type == kFeedNone) type = static_cast<int32_t>(CBdaSelectTypeDialog(lastSelectedType_).DoModal(nullptr));
    type_ = type;
    capabilities_ = BdaCapabilities(type);
    SetBdaDefaultTuning(type, record_);
    record_.word[0] = static_cast<uint32_t>(type);
}

CBDAFeed::~CBDAFeed() {
    std::lock_guard lock(graphLock_);
    Teardown();
}

std::string CBDAFeed::ConnectLogPath() { return MapDrivePath(kBdaConnectLogDrivePath); }

bool CBDAFeed::Fail(const char* message) {
    SetErrorText(message);
    return false;
}

void CBDAFeed::Teardown() {
    // Nothing may call back into the feed while the graph's objects go.
    if (mediaControl_) mediaControl_->Stop();
    if (exportInterface_) exportInterface_->SetSampleCallback(nullptr, nullptr);
    handBackExport_.store(nullptr, std::memory_order_release);
    tunerControl_.Reset();
    tuningSpace_.Reset();
    networkProvider_.Reset();
    tunerFilter_.Reset();
    captureFilter_.Reset();
    tee_.Reset();
    demultiplexer_.Reset();
    exportFilter_.Reset();
    mediaControl_.Reset();
    exportInterface_.Reset();
    graph_.Reset();
}

bool CBDAFeed::Start(int32_t serviceId) {
    std::lock_guard lock(graphLock_);
    SetErrorText(nullptr);
    connectLogWritten_ = false;
    Teardown();
    return Build(serviceId);
}

namespace {
// The request the plan names; *dvb also gets it when it is a DVB request.
ComPtr<ITuneRequest> BuildFromPlan(ITuningSpace* space, const BdaTuneRequestPlan& plan, ComPtr<IDVBTuneRequest>* dvb) {
    using B = BdaTuneRequestPlan::Builder;
    const auto frequency = static_cast<LONG>(plan.frequency);
    const auto symbolRate = static_cast<LONG>(plan.symbolRateK);
    switch (plan.builder) {
    case B::DvbS: *dvb = BuildDvbSRequest(space, frequency, symbolRate, plan.horizontal); break;
    case B::DvbSModulated:
        *dvb = BuildDvbSModulatedRequest(space, plan.satelliteModulation, frequency, symbolRate, plan.horizontal);
        break;
    case B::DvbC: *dvb = BuildDvbCRequest(space, frequency, symbolRate, plan.qamOrder); break;
    case B::DvbT: *dvb = BuildDvbTRequest(space, frequency, plan.bandwidthMHz); break;
    case B::Atsc: return BuildAtscRequest(space, frequency);
    }
    return dvb->Get();
}
}  // namespace

bool CBDAFeed::BuildTuneRequest(int32_t serviceId, ComPtr<ITuneRequest>* request) {
    const auto plan = PlanStartRequest(record_);
    if (!plan) return false;
    ComPtr<IDVBTuneRequest> dvb;
    *request = BuildFromPlan(tuningSpace_.Get(), *plan, &dvb);
    if (dvb) {
        dvb->put_ONID(kAnyNetwork);
        dvb->put_TSID(kAnyNetwork);
        dvb->put_SID(static_cast<LONG>(static_cast<uint32_t>(serviceId) & kServiceIdMask));
    }
    return static_cast<bool>(*request);
}

bool CBDAFeed::FindCapture() {
    for (unsigned n = 0;; ++n) {
        std::u16string friendly;
        ComPtr<IBaseFilter> candidate = FindReceiverComponent(n, &friendly);
        if (!candidate) return false;
        graph_->AddFilter(candidate.Get(), friendly.c_str());
        ComPtr<IPin> out = FindPin(tunerFilter_.Get(), PINDIR_OUTPUT, 0);
        ComPtr<IPin> in = FindPin(candidate.Get(), PINDIR_INPUT, 0);
        if (out && in && Connected(graph_->ConnectDirect(out.Get(), in.Get(), nullptr))) {
            captureFilter_ = std::move(candidate);
            return true;
        }
        graph_->RemoveFilter(candidate.Get());
    }
}

bool CBDAFeed::Build(int32_t serviceId) {
    graph_ = CreateInProcess<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    if (!graph_) return Fail(kNoGraphBuilder);
    const CLSID* providerClass = BdaNetworkProviderClass(type_);
    if (!providerClass) return Fail(kUnsupportedType);
    networkProvider_ = CreateInProcess<IBaseFilter>(*providerClass, IID_IBaseFilter);
    if (!networkProvider_) return Fail(kNoNetworkProvider);
    if (FAILED(AddFilterByClsid(graph_.Get(), networkProvider_.Get(), *providerClass))) return Fail(kCannotAddProvider);
    if (FAILED(networkProvider_.As(IID_ITuner, &tunerControl_)) || !tunerControl_) return Fail(kNoTunerInterface);

    switch (SelectTuningSpace(tunerControl_.Get(), type_, *providerClass, &tuningSpace_)) {
    case TuningSpaceResult::NoContainer: return Fail(kNoSpaceContainer);
    case TuningSpaceResult::NoMatch: return Fail(kNoTuningSpace);
    case TuningSpaceResult::Found: break;
    }
    ComPtr<ITuneRequest> request;
    if (!BuildTuneRequest(serviceId, &request)) return Fail(kNoTuneRequest);
    tunerControl_->put_TuneRequest(request.Get());

    const std::u16string wideName = WideFromUtf8(name_).substr(0, kFeedTextSize - 1);
    tunerFilter_ = FindTunerByName(wideName.c_str());
    if (!tunerFilter_) return Fail(kNoTuner);
    graph_->AddFilter(tunerFilter_.Get(), wideName.c_str());
    {
        ComPtr<IPin> out = FindPin(networkProvider_.Get(), PINDIR_OUTPUT, 0);
        if (!out) return Fail(kNoProviderOutput);
        ComPtr<IPin> in = FindPin(tunerFilter_.Get(), PINDIR_INPUT, 0);
        if (!in) return Fail(kNoTunerInput);
        if (!Connected(graph_->ConnectDirect(out.Get(), in.Get(), nullptr))) return Fail(kCannotConnectTuner);
    }
    if (!FindCapture()) captureFilter_ = tunerFilter_;

    tee_ = CreateInProcess<IBaseFilter>(CLSID_InfTee, IID_IBaseFilter);
    if (!tee_) return Fail(kNoTee);
    demultiplexer_ = CreateInProcess<IBaseFilter>(CLSID_MPEG2Demultiplexer, IID_IBaseFilter);
    if (!demultiplexer_) return Fail(kNoDemux);
    exportFilter_ = CreateInProcess<IBaseFilter>(CLSID_TSExportFilter, IID_IBaseFilter);
    if (!exportFilter_) return Fail(kNoExportFilter);
    if (FAILED(AddFilterByClsid(graph_.Get(), tee_.Get(), CLSID_InfTee))) return Fail(kCannotAddTee);
    if (FAILED(AddFilterByClsid(graph_.Get(), demultiplexer_.Get(), CLSID_MPEG2Demultiplexer)))
        return Fail(kCannotAddDemux);
    {
        ComPtr<IPin> out = FindPin(captureFilter_.Get(), PINDIR_OUTPUT, 0);
        if (!out) return Fail(kNoCaptureOutput);
        ComPtr<IPin> in = FindPin(tee_.Get(), PINDIR_INPUT, 0);
        if (!in) return Fail(kNoTeeInput);
        if (!Connected(graph_->ConnectDirect(out.Get(), in.Get(), nullptr))) return Fail(kCannotConnectCapture);
    }
    {
        ComPtr<IPin> out = FindPin(tee_.Get(), PINDIR_OUTPUT, 0);
        if (!out) return Fail(kNoTeeOutput);
        ComPtr<IPin> in = FindPin(demultiplexer_.Get(), PINDIR_INPUT, 0);
        if (!in) return Fail(kNoDemuxInput);
        if (!Connected(graph_->ConnectDirect(out.Get(), in.Get(), nullptr))) return Fail(kCannotConnectDemux);
    }
    for (unsigned pin : {kFirstRenderedDemuxPin, kSecondRenderedDemuxPin})
        if (ComPtr<IPin> out = FindPin(demultiplexer_.Get(), PINDIR_OUTPUT, pin)) graph_->Render(out.Get());

    AddFilterByClsid(graph_.Get(), exportFilter_.Get(), CLSID_TSExportFilter);
    {
        ComPtr<IPin> out = FindPin(tee_.Get(), PINDIR_OUTPUT, 1);
        if (!out) return Fail(kNoSecondTeeOutput);
        ComPtr<IPin> in = FindPin(exportFilter_.Get(), PINDIR_INPUT, 0);
        if (!in) return Fail(kNoExportInput);
        if (!Connected(graph_->ConnectDirect(out.Get(), in.Get(), nullptr)) &&
            !Connected(graph_->Connect(out.Get(), in.Get()))) {
            connectLogWritten_ = WriteBdaConnectLog(ConnectLogPath(), graph_.Get(), out.Get(), in.Get());
            return Fail(kCannotConnectExport);
        }
    }
    if (FAILED(exportFilter_.As(IID_IDSExport, &exportInterface_)) || !exportInterface_)
        return Fail(kNoExportInterface);
    handBackExport_.store(exportInterface_.Get(), std::memory_order_release);
    exportInterface_->SetSampleCallback(this, &CBDAFeed::HandBack);
    if (FAILED(graph_.As(IID_IMediaControl, &mediaControl_)) || !mediaControl_) return Fail(kNoMediaControl);
    mediaControl_->Run();
    return true;
}

HRESULT CBDAFeed::HandBack(void* context, IMediaSample* sample) {
    auto* feed = static_cast<CBDAFeed*>(context);
    IDSExport* exporter = feed->handBackExport_.load(std::memory_order_acquire);
    if (exporter) feed->lastDeliveryTime_.store(static_cast<uint64_t>(exporter->QueryTime()), std::memory_order_relaxed);
    DataCallback callback = feed->callback_.load(std::memory_order_acquire);
    if (callback && sample) {
        // The export filter keeps its own reference; the callee owns this one.
        sample->AddRef();
        callback(feed->callbackContext_.load(std::memory_order_relaxed), sample);
    }
    return S_OK;
}

void CBDAFeed::Stop() {
    std::lock_guard lock(graphLock_);
    if (mediaControl_) mediaControl_->Stop();
}

void CBDAFeed::SetTuning(const TuningParameters& record) {
    const uint32_t type = record_.word[0];
    record_ = record;
    record_.word[0] = type;
}

bool CBDAFeed::LoadSettings(const char* application) {
    application_ = application ? application : "";
    haveApplication_ = application != nullptr;
    LoadBdaSettings(application, name_, record_, lastSelectedType_);
    return true;
}

bool CBDAFeed::SaveSettings(const char* application) {
    SaveBdaSettings(application, name_, record_, lastSelectedType_);
    return true;
}

bool CBDAFeed::SupportsDeliveryDescriptor(const uint8_t* descriptor) {
    return descriptor && DeliveryTagSuits(static_cast<uint32_t>(type_), descriptor[0]);
}

bool CBDAFeed::Tune(const TuningParameters* params) {
    if (!params) return false;
    std::lock_guard lock(graphLock_);
    return TuneLocked(*params);
}

bool CBDAFeed::TuneLocked(const TuningParameters& given) {
    if (!tunerControl_ || !tuningSpace_) return false;
    const auto plan = PlanTuneRequest(record_, given);
    if (!plan) return false;
    ComPtr<IDVBTuneRequest> dvb;
    ComPtr<ITuneRequest> request = BuildFromPlan(tuningSpace_.Get(), *plan, &dvb);
    if (!request) return false;
    return SUCCEEDED(tunerControl_->put_TuneRequest(request.Get()));
}

LONG CBDAFeed::SignalStrength() {
    std::lock_guard lock(graphLock_);
    LONG strength = 0;
    if (tunerControl_ && FAILED(tunerControl_->get_SignalStrength(&strength))) strength = 0;
    return strength;
}

uint8_t CBDAFeed::GetStatus() { return SignalStrength() > 0 ? 0xFF : 0; }

uint16_t CBDAFeed::GetSignalLevel() { return static_cast<uint16_t>(static_cast<int16_t>(SignalStrength() >> 16)); }

bool CBDAFeed::ShowConfigDialog(HWND parent, const char* /*option*/, const uint8_t* descriptor) {
    record_.word[0] = static_cast<uint32_t>(type_);
    if (descriptor) DecodeDeliveryDescriptor(descriptor, record_);
    auto tune = [this] { Tune(&record_); };
    INT_PTR result = 0;
    switch (type_) {
    case kFeedDvbS:
    case kFeedDvbS2:
        result = CBdaSatelliteDialog(record_, haveApplication_ ? application_.c_str() : nullptr, tune).DoModal(parent);
        break;
    case kFeedDvbC:
    case kFeedDvbC2: result = CBdaCableDialog(record_, tune).DoModal(parent); break;
    case kFeedDvbT:
    case kFeedDvbT2: result = CBdaTerrestrialDialog(record_, tune).DoModal(parent); break;
    case kFeedAtsc: result = CBdaTuningDialog(CBdaTuningDialog::kAtscTemplate, record_, tune).DoModal(parent); break;
    default: return false;
    }
    // -1 means the dialog could not be shown, which is no confirmation.
    return result > 0;
}
