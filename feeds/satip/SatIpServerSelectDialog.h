#pragma once
// Chooses the SAT>IP server (a discovered one or a typed IPv4 address) and the
// delivery mode. The list follows the discovery while the dialog is open.
#include <cstdint>
#include <vector>

#include "feeds/ConfigDialog.h"
#include "feeds/satip/SatIpServerList.h"
#include "feeds/satip/SatIpSettings.h"

class CSatIpServerSelectDialog : public CConfigDialog {
public:
    static constexpr const WCHAR* kTemplateName = u"SAT2IP_SERVERSELECT";
    static constexpr int kDiscovered = 200;
    static constexpr int kManual = 201;
    static constexpr int kServerList = 202;
    static constexpr int kManualAddress = 203;
    static constexpr int kManualLabel = 204;
    static constexpr int kHttp = 205;
    static constexpr int kRtspUnicast = 206;
    static constexpr int kRtspMulticast = 207;
    static constexpr UINT_PTR kRefreshTimer = 1;
    static constexpr UINT kRefreshMs = 500;

    // OK ends with 1 and the choice in `settings`; Cancel with 0, `settings` untouched.
    CSatIpServerSelectDialog(SatIpServerList& servers, SatIpSettings& settings);

    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;
    INT_PTR OnTimer(UINT_PTR timerId) override;

    // "<name> (at IP: <address>)"
    static std::string EntryText(const SatIpServer& server);

private:
    void Refresh();
    void Accept();

    SatIpServerList& servers_;
    SatIpSettings& settings_;
    std::vector<SatIpServer> shown_;
    bool listed_ = false;
    uint32_t generation_ = 0;
};
