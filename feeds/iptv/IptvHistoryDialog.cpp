#include "feeds/iptv/IptvHistoryDialog.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kSourceSpecificFormat = " (SSM: %s)";

}  // namespace

CIptvHistoryDialog::CIptvHistoryDialog(const IptvHistory& history, IptvSettings& chosen)
    : CConfigDialog(kTemplateName, nullptr), history_(history), chosen_(chosen) {}

bool CIptvHistoryDialog::Listed(const IptvSettings& entry) {
    if (entry.group.family == kNetFamilyIPv6) return true;
    return entry.group.family == kNetFamilyIPv4 && NetAddressIPv4(entry.group) != 0 && entry.group.port != 0;
}

std::string CIptvHistoryDialog::EntryText(const IptvSettings& entry) {
    std::string text;
    FormatNetAddress(entry.group, text, true);
    if (entry.ssm) {
        std::string source;
        FormatNetAddress(entry.source, source, false);
        char suffix[96];
        std::snprintf(suffix, sizeof suffix, kSourceSpecificFormat, source.c_str());
        text += suffix;
    }
    return text;
}

INT_PTR CIptvHistoryDialog::OnInitDialog() {
    for (size_t i = 0; i < history_.size(); ++i) {
        if (!Listed(history_[i])) continue;
        const std::string text = EntryText(history_[i]);
        const auto item =
            SendDlgItemMessageA(Window(), kHistoryList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SendDlgItemMessageA(Window(), kHistoryList, LB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(i));
    }
    return TRUE;
}

bool CIptvHistoryDialog::Choose() {
    const LRESULT item = SendDlgItemMessageA(Window(), kHistoryList, LB_GETCURSEL, 0, 0);
    if (item == LB_ERR) return false;
    const auto index =
        static_cast<size_t>(SendDlgItemMessageA(Window(), kHistoryList, LB_GETITEMDATA, static_cast<WPARAM>(item), 0));
    if (index >= history_.size()) return false;
    chosen_ = history_[index];
    return true;
}

INT_PTR CIptvHistoryDialog::OnCommand(WPARAM command, WORD notification) {
    switch (LOWORD(command)) {
        case IDOK:
            // Nothing chosen: `chosen` keeps the settings it came with.
            Choose();
            EndDialog(Window(), 1);
            return 1;
        case IDCANCEL:
            EndDialog(Window(), 0);
            return 1;
        case kHistoryList:
            if (notification == LBN_DBLCLK && Choose()) EndDialog(Window(), 1);
            return notification == LBN_DBLCLK ? 1 : 0;
        default:
            return 0;
    }
}
