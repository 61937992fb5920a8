#include "feeds/satip/SatIpServerSelectDialog.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kEntryFormat = "%s (at IP: %s)";
constexpr const char* kNoName = "SAT>IP Server \"no name\"";

}  // namespace

CSatIpServerSelectDialog::CSatIpServerSelectDialog(SatIpServerList& servers, SatIpSettings& settings)
    : CConfigDialog(kTemplateName, nullptr), servers_(servers), settings_(settings) {}

std::string CSatIpServerSelectDialog::EntryText(const SatIpServer& server) {
    std::string address;
    FormatNetAddress(server.address, address, false);
    const std::string& name = server.name.empty() ? std::string(kNoName) : server.name;
    char text[SatIpServerList::kNameLength + 96];
    std::snprintf(text, sizeof text, kEntryFormat, name.c_str(), address.c_str());
    return text;
}

INT_PTR CSatIpServerSelectDialog::OnInitDialog() {
    HWND hwnd = Window();
    CheckRadioButton(hwnd, kDiscovered, kManual, settings_.manualSelect ? kManual : kDiscovered);
    if (settings_.manualAddress.family == kNetFamilyIPv4)
        SendDlgItemMessageA(hwnd, kManualAddress, IPM_SETADDRESS, 0,
                            static_cast<LPARAM>(NetAddressIPv4(settings_.manualAddress)));
    const int mode = settings_.deliveryMode == kSatIpDeliveryHttp            ? kHttp
                     : settings_.deliveryMode == kSatIpDeliveryRtspMulticast ? kRtspMulticast
                                                                             : kRtspUnicast;
    CheckRadioButton(hwnd, kHttp, kRtspMulticast, mode);
    Refresh();
    SetTimer(hwnd, kRefreshTimer, kRefreshMs, nullptr);
    return TRUE;
}

void CSatIpServerSelectDialog::Refresh() {
    // A rebuild in progress, or no change since the last look: the list stays.
    if (listed_ && servers_.Generation() == generation_) return;
    std::vector<SatIpServer> servers;
    uint32_t generation = 0;
    if (!servers_.Snapshot(servers, &generation)) return;
    HWND hwnd = Window();
    SendDlgItemMessageA(hwnd, kServerList, LB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < servers.size(); ++i) {
        const std::string text = EntryText(servers[i]);
        SendDlgItemMessageA(hwnd, kServerList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (servers[i].key == settings_.serverHash)
            SendDlgItemMessageA(hwnd, kServerList, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
    }
    shown_ = std::move(servers);
    generation_ = generation;
    listed_ = true;
}

void CSatIpServerSelectDialog::Accept() {
    HWND hwnd = Window();
    if (IsDlgButtonChecked(hwnd, kManual) == BST_CHECKED) {
        DWORD typed = 0;
        SendDlgItemMessageA(hwnd, kManualAddress, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&typed));
        settings_.manualSelect = 1;
        settings_.manualAddress = MakeIPv4Address(typed, 0);
    } else {
        settings_.manualSelect = 0;
        settings_.serverHash = 0;
        settings_.serverAddress = NetAddress{};
        const LRESULT item = SendDlgItemMessageA(hwnd, kServerList, LB_GETCURSEL, 0, 0);
        if (item != LB_ERR && static_cast<size_t>(item) < shown_.size()) {
            settings_.serverHash = shown_[static_cast<size_t>(item)].key;
            settings_.serverAddress = shown_[static_cast<size_t>(item)].address;
        }
    }
    settings_.deliveryMode = IsDlgButtonChecked(hwnd, kHttp) == BST_CHECKED             ? kSatIpDeliveryHttp
                             : IsDlgButtonChecked(hwnd, kRtspMulticast) == BST_CHECKED ? kSatIpDeliveryRtspMulticast
                                                                                        : kSatIpDeliveryRtspUnicast;
}

INT_PTR CSatIpServerSelectDialog::OnCommand(WPARAM command, WORD /*notification*/) {
    HWND hwnd = Window();
    switch (LOWORD(command)) {
        case kDiscovered:
        case kManual:
            CheckRadioButton(hwnd, kDiscovered, kManual, LOWORD(command));
            return 1;
        case kHttp:
        case kRtspUnicast:
        case kRtspMulticast:
            CheckRadioButton(hwnd, kHttp, kRtspMulticast, LOWORD(command));
            return 1;
        case IDOK:
            KillTimer(hwnd, kRefreshTimer);
            Accept();
            EndDialog(hwnd, 1);
            return 1;
        case IDCANCEL:
            KillTimer(hwnd, kRefreshTimer);
            EndDialog(hwnd, 0);
            return 1;
        default:
            return 0;
    }
}

INT_PTR CSatIpServerSelectDialog::OnTimer(UINT_PTR timerId) {
    if (timerId != kRefreshTimer) return 0;
    Refresh();
    return 1;
}
