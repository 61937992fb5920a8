#pragma once
// The IPTV feed's settings dialog: group or unicast address and port, IPv4 or IPv6,
// the adapter that joins a group, and the sender for source-specific multicast.
#include "feeds/ConfigDialog.h"
#include "feeds/iptv/AdapterList.h"
#include "feeds/iptv/IptvSettings.h"

class CIptvConfigDialog : public CConfigDialog {
public:
    static constexpr const WCHAR* kTemplateName = u"IPTVFEEDCONFIGDLG";
    // Control identifiers the host's template provides.
    static constexpr int kGroupIPv4 = 200;         // IP address control
    static constexpr int kPort = 201;              // edit
    static constexpr int kInterfaceAddress = 202;  // IP address control
    static constexpr int kInterfaceList = 203;     // combo box
    static constexpr int kSource = 204;            // IP address control
    static constexpr int kSourceSpecific = 205;    // check box
    static constexpr int kGroupIPv6 = 1000;        // edit, "[address]"
    static constexpr int kIPv4 = 1001;             // radio button
    static constexpr int kIPv6 = 1002;             // radio button

    // OK with a result of 1 writes the edited settings back into `settings`.
    explicit CIptvConfigDialog(IptvSettings& settings);

    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

private:
    bool IPv6Chosen() const;
    void ShowFamily(bool ipv6);
    void UpdateForGroup();
    void FillAdapters();
    const NetworkAdapter* ChosenAdapter() const;
    // Reads the controls into the settings; false keeps the dialog open.
    bool Apply();
    DWORD Address(int id) const;
    void SetAddress(int id, DWORD hostOrder);
    void Error(const char* text);

    IptvSettings& settings_;
    CAdapterList adapters_;
};
