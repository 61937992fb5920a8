// The feed's configuration round: a server first, then its pages.
#include "feeds/satip/SATIPFeed.h"
#include "feeds/satip/SatIpCapabilities.h"
#include "feeds/satip/SatIpPages.h"
#include "feeds/satip/SatIpServerSelectDialog.h"

bool CSATIPFeed::ShowConfigDialog(HWND parent, const char* /*option*/, const uint8_t* /*descriptor*/) {
    std::lock_guard control(controlLock_);
    SatIpSettings edited = Settings();
    const uint32_t typeBefore = edited.feedType;
    bool chosenAnew = false;
    for (;;) {
        uint32_t mask = 0;
        if (!edited.manualSelect)
            mask = discovery_.Servers().CapabilitiesOf(edited.serverHash);
        else if (edited.manualAddress.family != 0 && NetAddressIPv4(edited.manualAddress) != 0)
            mask = kSatIpCapAll;
        if (mask == 0) {
            CSatIpServerSelectDialog select(discovery_.Servers(), edited);
            if (select.DoModal(parent) != 1) return false;
            chosenAnew = true;
            continue;
        }
        SatIpSheetState state{edited, mask, discovery_.Servers(), application_.empty() ? nullptr : application_.c_str()};
        const INT_PTR ended = RunSatIpPropertySheet(parent, state);
        if (state.result == SatIpSheetState::kServerChanged) {
            chosenAnew = true;
            continue;
        }
        const bool ok = ended > 0;
        if (!ok) edited.feedType = typeBefore;
        SetSettings(edited);
        return ok || chosenAnew;
    }
}
