#pragma once
// A notice with a "do not ask again" check box: the PID-all notice at start and the
// question whether to stop the system's SSDP services.
#include "feeds/ConfigDialog.h"

class CSatIpNoticeDialog : public CConfigDialog {
public:
    static constexpr const WCHAR* kPidAllTemplate = u"ALLPIDWARNDLG";
    static constexpr const WCHAR* kSsdpStopTemplate = u"SSDPSTOPDLG";
    static constexpr int kDontAskAgain = 201;

    // PID-all notice: OK ends with 1 when the box is ticked, else 0; Cancel with 0.
    static CSatIpNoticeDialog PidAll() { return CSatIpNoticeDialog(kPidAllTemplate, 1, 0); }
    // SSDP question: OK ends with 3 when the box is ticked, else 1; Cancel with 0.
    static CSatIpNoticeDialog SsdpStop() { return CSatIpNoticeDialog(kSsdpStopTemplate, 3, 1); }

    INT_PTR OnCommand(WPARAM command, WORD notification) override;

private:
    CSatIpNoticeDialog(const WCHAR* templateName, INT_PTR okTicked, INT_PTR okPlain)
        : CConfigDialog(templateName, nullptr), okTicked_(okTicked), okPlain_(okPlain) {}

    const INT_PTR okTicked_;
    const INT_PTR okPlain_;
};
