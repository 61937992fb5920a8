#include "host/HostResources.h"

#include "feeds/bda/BdaCableDialog.h"
#include "feeds/bda/BdaSatelliteDialog.h"
#include "feeds/bda/BdaSelectTypeDialog.h"
#include "feeds/bda/BdaTerrestrialDialog.h"
#include "feeds/file/FileFeedDialog.h"
#include "feeds/iptv/IptvConfigDialog.h"
#include "feeds/iptv/IptvHistoryDialog.h"
#include "feeds/transponders/TransponderListDialog.h"
#include "platform/ui/ResourceRegistry.h"

namespace {
ControlTemplate Control(int id, const char* cls, const char* text, short x, short y, short cx, short cy, DWORD style,
                        bool hidden = false) {
    return ControlTemplate{id, cls, text, x, y, cx, cy, style, hidden};
}
}  // namespace

DialogTemplate FileFeedDialogTemplate() {
    using D = CFileFeedDialog;
    DialogTemplate t;
    t.caption = "File feed";
    t.cx = 260;
    t.cy = 110;
    t.controls = {Control(D::kFileNameEdit, WC_EDIT, "", 10, 10, 180, 12, ES_AUTOHSCROLL),
                  Control(D::kBrowseButton, WC_BUTTON, "&Browse...", 195, 9, 55, 14, BS_PUSHBUTTON),
                  Control(D::kLoopCheck, WC_BUTTON, "&Loop", 10, 30, 60, 10, BS_AUTOCHECKBOX),
                  Control(D::kBitrateLockCheck, WC_BUTTON, "Bitrate &lock", 80, 30, 80, 10, BS_AUTOCHECKBOX),
                  Control(D::kBitrateLabel, WC_STATIC, "Bitrate", 10, 50, 40, 10, 0),
                  Control(D::kBitrateEdit, WC_EDIT, "", 55, 48, 80, 12, ES_NUMBER),
                  Control(D::kBitrateUnit, WC_STATIC, "bit/s", 140, 50, 30, 10, 0),
                  Control(IDOK, WC_BUTTON, "OK", 140, 88, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 200, 88, 50, 14, BS_PUSHBUTTON)};
    return t;
}

DialogTemplate IptvConfigDialogTemplate() {
    using D = CIptvConfigDialog;
    DialogTemplate t;
    t.caption = "IPTV settings";
    t.cx = 260;
    t.cy = 160;
    t.controls = {Control(D::kIPv4, WC_BUTTON, "IPv4", 10, 5, 40, 10, BS_AUTORADIOBUTTON),
                  Control(D::kIPv6, WC_BUTTON, "IPv6", 60, 5, 40, 10, BS_AUTORADIOBUTTON),
                  Control(D::kGroupIPv4, WC_IPADDRESS, "", 10, 20, 100, 12, 0),
                  Control(D::kGroupIPv6, WC_EDIT, "", 10, 20, 160, 12, ES_AUTOHSCROLL, true),
                  Control(D::kPort, WC_EDIT, "", 180, 20, 40, 12, ES_NUMBER),
                  Control(D::kInterfaceList, WC_COMBOBOX, "", 10, 40, 100, 60, CBS_DROPDOWNLIST),
                  Control(D::kInterfaceAddress, WC_IPADDRESS, "", 120, 40, 100, 12, 0),
                  Control(D::kSource, WC_IPADDRESS, "", 10, 60, 100, 12, 0),
                  Control(D::kSourceSpecific, WC_BUTTON, "SSM", 120, 60, 40, 10, BS_AUTOCHECKBOX),
                  Control(IDOK, WC_BUTTON, "OK", 10, 140, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 70, 140, 50, 14, BS_PUSHBUTTON)};
    return t;
}

DialogTemplate IptvHistoryDialogTemplate() {
    DialogTemplate t;
    t.caption = "Recent";
    t.cx = 200;
    t.cy = 120;
    t.controls = {Control(CIptvHistoryDialog::kHistoryList, WC_LISTBOX, "", 5, 5, 190, 90, LBS_NOTIFY),
                  Control(IDOK, WC_BUTTON, "OK", 10, 100, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 70, 100, 50, 14, BS_PUSHBUTTON)};
    return t;
}

void RegisterHostResources() {
    HINSTANCE self = MainProgramModule();
    RegisterDialogTemplate(self, "FILEFEEDCONFIGDLG", FileFeedDialogTemplate());
    RegisterIconResource(self, MAKEINTRESOURCEA(CFileFeedDialog::kSmallIconId));
    RegisterDialogTemplate(self, "IPTVFEEDCONFIGDLG", IptvConfigDialogTemplate());
    RegisterDialogTemplate(self, "IPTVHISTORYDLG", IptvHistoryDialogTemplate());
    RegisterDialogTemplate(self, "TRANSPONDERLISTDLG", TransponderListDialogTemplate());
    RegisterDialogTemplate(self, "BDA_SELECTTYPE", BdaSelectTypeDialogTemplate());
    RegisterDialogTemplate(self, "BDA_DVBSCONFIG", BdaSatelliteDialogTemplate());
    RegisterDialogTemplate(self, "BDA_DVBCCONFIG", BdaCableDialogTemplate());
    RegisterDialogTemplate(self, "BDA_DVBTCONFIG", BdaTerrestrialDialogTemplate());
    RegisterDialogTemplate(self, "BDA_ATSCCONFIG", BdaAtscDialogTemplate());
}

DialogTemplate TransponderListDialogTemplate() {
    using D = TransponderListDialog;
    DialogTemplate t;
    t.caption = "Transponder list";
    t.cx = 420;
    t.cy = 260;
    t.controls = {Control(IDC_STATIC, WC_STATIC, "Satellite", 10, 10, 40, 10, 0),
                  Control(D::kSatelliteList, WC_COMBOBOX, "", 55, 8, 110, 80, CBS_DROPDOWNLIST),
                  Control(D::kFavouritesOnlyCheck, WC_BUTTON, "&Favourites only", 180, 10, 80, 10, BS_AUTOCHECKBOX),
                  Control(IDC_STATIC, WC_STATIC, "Comment contains", 270, 10, 65, 10, 0),
                  Control(D::kCommentFilterEdit, WC_EDIT, "", 335, 8, 75, 12, ES_AUTOHSCROLL),
                  Control(D::kTable, WC_LISTVIEW, "", 10, 28, 400, 200, LVS_REPORT),
                  Control(IDOK, WC_BUTTON, "OK", 300, 238, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 360, 238, 50, 14, BS_PUSHBUTTON)};
    return t;
}

DialogTemplate BdaSelectTypeDialogTemplate() {
    using D = CBdaSelectTypeDialog;
    DialogTemplate t;
    t.caption = "Delivery system";
    t.cx = 160;
    t.cy = 90;
    t.controls = {Control(IDC_STATIC, WC_STATIC, "This tuner receives", 10, 5, 140, 10, 0),
                  Control(D::kDvbT, WC_BUTTON, "DVB-&T", 10, 20, 60, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(D::kDvbC, WC_BUTTON, "DVB-&C", 10, 32, 60, 10, BS_AUTORADIOBUTTON),
                  Control(D::kDvbS, WC_BUTTON, "DVB-&S", 80, 20, 60, 10, BS_AUTORADIOBUTTON),
                  Control(D::kDvbS2, WC_BUTTON, "DVB-S&2", 80, 32, 60, 10, BS_AUTORADIOBUTTON),
                  Control(IDOK, WC_BUTTON, "OK", 55, 70, 50, 14, BS_DEFPUSHBUTTON | WS_GROUP)};
    return t;
}

namespace {
// The frequency field every BDA tuning dialog opens with, under its own label.
std::vector<ControlTemplate> BdaFrequencyRow(const char* label, const char* unit) {
    return {Control(IDC_STATIC, WC_STATIC, label, 10, 10, 60, 10, 0),
            Control(CBdaTuningDialog::kFrequencyEdit, WC_EDIT, "", 75, 8, 70, 12, ES_AUTOHSCROLL),
            Control(IDC_STATIC, WC_STATIC, unit, 150, 10, 30, 10, 0)};
}
DialogTemplate BdaTuningTemplate(const char* caption, short cy, std::vector<ControlTemplate> controls) {
    DialogTemplate t;
    t.caption = caption;
    t.cx = 220;
    t.cy = cy;
    t.controls = std::move(controls);
    t.controls.push_back(Control(IDOK, WC_BUTTON, "OK", 100, static_cast<short>(cy - 20), 50, 14,
                                 BS_DEFPUSHBUTTON | WS_GROUP));
    t.controls.push_back(Control(IDCANCEL, WC_BUTTON, "Cancel", 160, static_cast<short>(cy - 20), 50, 14,
                                 BS_PUSHBUTTON));
    return t;
}
}  // namespace

DialogTemplate BdaSatelliteDialogTemplate() {
    using D = CBdaSatelliteDialog;
    auto controls = BdaFrequencyRow("Frequency", "MHz");
    controls.insert(controls.end(),
                    {Control(IDC_STATIC, WC_STATIC, "Symbol rate", 10, 28, 60, 10, 0),
                     Control(D::kSymbolRateEdit, WC_EDIT, "", 75, 26, 70, 12, ES_NUMBER),
                     Control(IDC_STATIC, WC_STATIC, "kS/s", 150, 28, 30, 10, 0),
                     Control(D::kHorizontal, WC_BUTTON, "&Horizontal", 10, 46, 60, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                     Control(D::kVertical, WC_BUTTON, "&Vertical", 80, 46, 60, 10, BS_AUTORADIOBUTTON),
                     Control(D::kDvbSQpsk, WC_BUTTON, "DVB-S QPSK", 10, 62, 60, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                     Control(D::kDvbS2Qpsk, WC_BUTTON, "DVB-S2 QPSK", 75, 62, 65, 10, BS_AUTORADIOBUTTON),
                     Control(D::kDvbS28psk, WC_BUTTON, "DVB-S2 8PSK", 145, 62, 65, 10, BS_AUTORADIOBUTTON),
                     Control(D::kTransponderListButton, WC_BUTTON, "&Transponders...", 10, 82, 70, 14,
                             BS_PUSHBUTTON | WS_GROUP)});
    return BdaTuningTemplate("DVB-S tuning", 125, std::move(controls));
}

DialogTemplate BdaCableDialogTemplate() {
    using D = CBdaCableDialog;
    auto controls = BdaFrequencyRow("Frequency", "MHz");
    controls.insert(controls.end(),
                    {Control(IDC_STATIC, WC_STATIC, "Symbol rate", 10, 28, 60, 10, 0),
                     Control(D::kSymbolRateEdit, WC_EDIT, "", 75, 26, 70, 12, ES_NUMBER),
                     Control(IDC_STATIC, WC_STATIC, "S/s", 150, 28, 30, 10, 0),
                     Control(D::kQam16, WC_BUTTON, "16-QAM", 10, 46, 45, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                     Control(D::kQam64, WC_BUTTON, "64-QAM", 60, 46, 45, 10, BS_AUTORADIOBUTTON),
                     Control(D::kQam128, WC_BUTTON, "128-QAM", 110, 46, 45, 10, BS_AUTORADIOBUTTON),
                     Control(D::kQam256, WC_BUTTON, "256-QAM", 160, 46, 45, 10, BS_AUTORADIOBUTTON)});
    return BdaTuningTemplate("DVB-C tuning", 90, std::move(controls));
}

DialogTemplate BdaTerrestrialDialogTemplate() {
    using D = CBdaTerrestrialDialog;
    auto controls = BdaFrequencyRow("Frequency", "MHz");
    controls.insert(controls.end(),
                    {Control(D::kBandwidth6, WC_BUTTON, "6 MHz", 10, 30, 45, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                     Control(D::kBandwidth7, WC_BUTTON, "7 MHz", 60, 30, 45, 10, BS_AUTORADIOBUTTON),
                     Control(D::kBandwidth8, WC_BUTTON, "8 MHz", 110, 30, 45, 10, BS_AUTORADIOBUTTON)});
    return BdaTuningTemplate("DVB-T tuning", 75, std::move(controls));
}

DialogTemplate BdaAtscDialogTemplate() {
    // The channel number goes through the frequency field, so it reads in thousandths.
    return BdaTuningTemplate("ATSC tuning", 55, BdaFrequencyRow("Channel", "/ 1000"));
}
