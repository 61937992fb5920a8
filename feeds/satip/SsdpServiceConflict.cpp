#include "feeds/satip/SsdpServiceConflict.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "feeds/satip/SatIpNoticeDialog.h"
#include "platform/service/ServiceManager.h"

namespace {

constexpr const char* kUpnpHost = "upnphost";
constexpr const char* kSsdpService = "SSDPSRV";
constexpr INT_PTR kStopAlways = 3;
constexpr INT_PTR kStopOnce = 1;

bool Runs(const char* name) {
    ServiceStatus status;
    return ServiceManager::Instance().Query(name, status) && status.state != ServiceState::Stopped;
}

bool StopBoth() {
    return StopSystemService(kUpnpHost) && StopSystemService(kSsdpService);
}

void ReportStopFailure() {
    static constexpr const char* kText = "Failed to stop Windows SSDP service.";
    static constexpr const char* kCaption = "SSDP client conflict";
    MessageBoxA(nullptr, kText, kCaption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

bool StopSystemService(const char* name, const ServiceStopTiming& timing) {
    using Clock = std::chrono::steady_clock;
    ServiceManager& manager = ServiceManager::Instance();
    const auto begin = Clock::now();
    ServiceStatus status;
    if (!manager.Query(name, status)) return false;
    if (status.state == ServiceState::Stopped) return true;
    if (status.state != ServiceState::StopPending) {
        if (!manager.ControlStop(name) || !manager.Query(name, status)) return false;
        if (status.state == ServiceState::Stopped) return true;
    }
    for (;;) {
        const uint32_t wait = std::clamp(status.waitHintMs / 20, timing.shortestWaitMs, timing.longestWaitMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        if (!manager.Query(name, status)) return false;
        if (status.state == ServiceState::Stopped) return true;
        if (Clock::now() - begin >= std::chrono::milliseconds(timing.giveUpMs)) return false;
    }
}

void ResolveSsdpServiceConflict(SatIpSettings& settings, const char* application) {
    if (!Runs(kUpnpHost) && !Runs(kSsdpService)) return;
    if (settings.AlwaysStopSSDP) {
        if (!StopBoth()) ReportStopFailure();
        return;
    }
    CSatIpNoticeDialog dialog = CSatIpNoticeDialog::SsdpStop();
    const INT_PTR answer = dialog.DoModal(nullptr);
    if (answer != kStopOnce && answer != kStopAlways) return;
    if (!StopBoth()) ReportStopFailure();
    if (answer == kStopAlways && application && *application) {
        settings.AlwaysStopSSDP = 1;
        SaveSatIpSettings(application, settings);
    }
}
