#pragma once
// Lists the feed's recently used settings for the user to pick one again.
#include <string>

#include "feeds/ConfigDialog.h"
#include "feeds/iptv/IptvSettings.h"

class CIptvHistoryDialog : public CConfigDialog {
public:
    static constexpr const WCHAR* kTemplateName = u"IPTVHISTORYDLG";
    static constexpr int kHistoryList = 1010;  // list box in the host's template

    // `chosen` holds the current settings on entry. OK (or a double click on an
    // entry) ends with 1 and the entry in `chosen`; OK with nothing selected ends with
    // 1 too and leaves `chosen` as it was, so that taking it over changes nothing.
    CIptvHistoryDialog(const IptvHistory& history, IptvSettings& chosen);

    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

    // The list text of an entry: the group with its port, and the source when
    // source-specific.
    static std::string EntryText(const IptvSettings& entry);
    // IPv6 entries, and IPv4 entries with an address and a port, are worth offering.
    static bool Listed(const IptvSettings& entry);

private:
    bool Choose();

    const IptvHistory& history_;
    IptvSettings& chosen_;
};
