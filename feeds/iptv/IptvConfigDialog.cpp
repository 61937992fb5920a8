#include "feeds/iptv/IptvConfigDialog.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kErrorCaption = "Error";
constexpr const char* kAdapterListFormat =
    "GetAdaptersAddresses failed with error code %08X. Unable to fill interface list.";
constexpr const char* kParseFailedText = "The entered IP address failed to parse.";
constexpr const char* kBadPortText = "The entered port number is not valid.";
constexpr const char* kMulticastSourceFormat = "Multicast Source: %s is not valid for SSM";
constexpr UINT kMaxPort = 65535;

std::string Formatted(const NetAddress& address, bool withPort) {
    std::string text;
    FormatNetAddress(address, text, withPort);
    return text;
}

}  // namespace

CIptvConfigDialog::CIptvConfigDialog(IptvSettings& settings) : CConfigDialog(kTemplateName, nullptr), settings_(settings) {}

DWORD CIptvConfigDialog::Address(int id) const {
    DWORD value = 0;
    SendDlgItemMessageA(Window(), id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&value));
    return value;
}

void CIptvConfigDialog::SetAddress(int id, DWORD hostOrder) {
    SendDlgItemMessageA(Window(), id, IPM_SETADDRESS, 0, static_cast<LPARAM>(hostOrder));
}

void CIptvConfigDialog::Error(const char* text) { MessageBoxA(Window(), text, kErrorCaption, MB_OK | MB_ICONERROR); }

bool CIptvConfigDialog::IPv6Chosen() const { return IsDlgButtonChecked(Window(), kIPv6) == BST_CHECKED; }

INT_PTR CIptvConfigDialog::OnInitDialog() {
    const HWND hwnd = Window();
    const IptvSettings& s = settings_;
    const bool ipv6 = s.group.family == kNetFamilyIPv6;
    CheckRadioButton(hwnd, kIPv4, kIPv6, ipv6 ? kIPv6 : kIPv4);
    if (ipv6) {
        SetDlgItemTextA(hwnd, kGroupIPv6, Formatted(s.group, false).c_str());
    } else {
        SetAddress(kGroupIPv4, NetAddressIPv4(s.group));
    }
    SetDlgItemInt(hwnd, kPort, NetAddressPort(s.group), FALSE);
    if (!ipv6) {
        // The source first: a changed source sets the box, the stored choice then wins.
        SetAddress(kSource, s.source.family == kNetFamilyIPv4 ? NetAddressIPv4(s.source) : 0);
        CheckDlgButton(hwnd, kSourceSpecific, s.ssm ? BST_CHECKED : BST_UNCHECKED);
    }
    if (s.interfaceAddress.family == kNetFamilyIPv4) SetAddress(kInterfaceAddress, NetAddressIPv4(s.interfaceAddress));
    FillAdapters();
    ShowFamily(ipv6);
    // Shows the chosen adapter's address; typed only while no adapter is listed, and
    // disabled again by the first change of the group.
    EnableWindow(GetDlgItem(hwnd, kInterfaceAddress), adapters_.Adapters().empty());
    return TRUE;
}

void CIptvConfigDialog::FillAdapters() {
    const HWND hwnd = Window();
    int error = 0;
    if (!adapters_.Read(&error)) {
        char text[160];
        std::snprintf(text, sizeof text, kAdapterListFormat, static_cast<unsigned>(error));
        Error(text);
        return;
    }
    const NetAddress wanted = MakeIPv4Address(NetAddressIPv4(settings_.interfaceAddress), 0);
    const auto& list = adapters_.Adapters();
    for (size_t i = 0; i < list.size(); ++i) {
        const auto item = SendDlgItemMessageA(hwnd, kInterfaceList, CB_ADDSTRING, 0,
                                              reinterpret_cast<LPARAM>(list[i].name.c_str()));
        SendDlgItemMessageA(hwnd, kInterfaceList, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(i));
        if (settings_.interfaceAddress.family == kNetFamilyIPv4 && list[i].ipv4 == wanted) {
            SendDlgItemMessageA(hwnd, kInterfaceList, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
            SetAddress(kInterfaceAddress, NetAddressIPv4(list[i].ipv4));
        }
    }
}

const NetworkAdapter* CIptvConfigDialog::ChosenAdapter() const {
    const LRESULT item = SendDlgItemMessageA(Window(), kInterfaceList, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR) return nullptr;
    const auto position =
        static_cast<size_t>(SendDlgItemMessageA(Window(), kInterfaceList, CB_GETITEMDATA, static_cast<WPARAM>(item), 0));
    return position < adapters_.Adapters().size() ? &adapters_.Adapters()[position] : nullptr;
}

void CIptvConfigDialog::ShowFamily(bool ipv6) {
    const HWND hwnd = Window();
    ShowWindow(GetDlgItem(hwnd, kGroupIPv4), ipv6 ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(hwnd, kGroupIPv6), ipv6 ? SW_SHOW : SW_HIDE);
    // The source control holds IPv4 addresses only.
    EnableWindow(GetDlgItem(hwnd, kSourceSpecific), !ipv6);
    UpdateForGroup();
}

void CIptvConfigDialog::UpdateForGroup() {
    const HWND hwnd = Window();
    const bool ipv6 = IPv6Chosen();
    const bool multicast = ipv6 || IsMulticast(MakeIPv4Address(Address(kGroupIPv4), 0));
    EnableWindow(GetDlgItem(hwnd, kInterfaceList), multicast);
    EnableWindow(GetDlgItem(hwnd, kSource), multicast && !ipv6);
    EnableWindow(GetDlgItem(hwnd, kInterfaceAddress), FALSE);
}

INT_PTR CIptvConfigDialog::OnCommand(WPARAM command, WORD notification) {
    const HWND hwnd = Window();
    switch (LOWORD(command)) {
        case IDOK:
            if (Apply()) EndDialog(hwnd, 1);
            return 1;
        case IDCANCEL:
            EndDialog(hwnd, 0);
            return 1;
        case kIPv4:
        case kIPv6:
            if (notification != BN_CLICKED) return 0;
            CheckRadioButton(hwnd, kIPv4, kIPv6, LOWORD(command));
            ShowFamily(LOWORD(command) == kIPv6);
            return 1;
        case kGroupIPv4:
            if (notification != EN_CHANGE) return 0;
            UpdateForGroup();
            return 1;
        case kInterfaceList:
            if (notification != CBN_SELCHANGE) return 0;
            if (const NetworkAdapter* adapter = ChosenAdapter(); adapter && adapter->ipv4.family == kNetFamilyIPv4) {
                SetAddress(kInterfaceAddress, NetAddressIPv4(adapter->ipv4));
            }
            return 1;
        case kSource:
            if (notification != EN_CHANGE) return 0;
            CheckDlgButton(hwnd, kSourceSpecific,
                           IsMulticast(MakeIPv4Address(Address(kSource), 0)) ? BST_UNCHECKED : BST_CHECKED);
            return 1;
        default:
            return 0;
    }
}

bool CIptvConfigDialog::Apply() {
    const HWND hwnd = Window();
    BOOL translated = FALSE;
    const UINT port = GetDlgItemInt(hwnd, kPort, &translated, FALSE);
    if (!translated || port > kMaxPort) {
        Error(kBadPortText);
        return false;
    }
    IptvSettings s = settings_;
    const bool ipv6 = IPv6Chosen();
    if (!ipv6) {
        s.group = MakeIPv4Address(Address(kGroupIPv4), static_cast<uint16_t>(port));
    } else {
        char typed[256] = {};
        GetDlgItemTextA(hwnd, kGroupIPv6, typed, sizeof typed);
        const std::string text = std::string(typed) + ":" + std::to_string(port);
        // A text that does not parse leaves the address as it was.
        if (!ParseNetAddress(nullptr, text, s.group)) Error(kParseFailedText);
    }
    if (!IsMulticast(s.group)) {
        settings_ = s;
        return true;
    }

    // No adapter chosen: the interface stays as it was.
    if (const NetworkAdapter* adapter = ChosenAdapter()) {
        const NetAddress& address = s.group.family == kNetFamilyIPv6 ? adapter->ipv6 : adapter->ipv4;
        if (address.family != 0) s.interfaceAddress = address;
    }
    // For either family: the source control holds an IPv4 address, and the box is
    // what it was when the family changed.
    s.source = MakeIPv4Address(Address(kSource), 0);
    s.ssm = 0;
    if (IsDlgButtonChecked(hwnd, kSourceSpecific) == BST_CHECKED) {
        s.ssm = 1;
        if (IsMulticast(s.source)) {
            char text[128];
            std::snprintf(text, sizeof text, kMulticastSourceFormat, Formatted(s.source, false).c_str());
            Error(text);
            return false;
        }
    }
    settings_ = s;
    return true;
}
