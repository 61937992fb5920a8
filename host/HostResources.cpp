#include "host/HostResources.h"

#include "feeds/file/FileFeedDialog.h"
#include "feeds/iptv/IptvConfigDialog.h"
#include "feeds/iptv/IptvHistoryDialog.h"
#include "feeds/pci/DvbCDialog.h"
#include "feeds/pci/DvbSDialog.h"
#include "feeds/pci/DvbTDialog.h"
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
    RegisterDialogTemplate(self, "DVBPCIFEEDCONFIGDLG", PciSatelliteDialogTemplate());
    RegisterDialogTemplate(self, "DVBCCONFIGDLG", PciCableDialogTemplate());
    RegisterDialogTemplate(self, "DVBTCONFIGDLG", PciTerrestrialDialogTemplate());
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

DialogTemplate PciSatelliteDialogTemplate() {
    using D = CDvbSDialog;
    constexpr DWORD radio = BS_AUTORADIOBUTTON;
    DialogTemplate t;
    t.caption = "DVB-S card";
    t.cx = 250;
    t.cy = 150;
    t.controls = {Control(IDC_STATIC, WC_STATIC, "Frequency (MHz)", 10, 10, 70, 10, 0),
                  Control(D::kFrequencyEdit, WC_EDIT, "", 85, 8, 50, 12, ES_NUMBER),
                  Control(IDC_STATIC, WC_STATIC, "Symbol rate (kS/s)", 10, 26, 70, 10, 0),
                  Control(D::kSymbolRateEdit, WC_EDIT, "", 85, 24, 50, 12, ES_NUMBER),
                  Control(D::kTransponderButton, WC_BUTTON, "&Transponder list...", 145, 8, 95, 14, BS_PUSHBUTTON),
                  Control(D::kHorizontal, WC_BUTTON, "&Horizontal", 10, 44, 60, 10, radio | WS_GROUP),
                  Control(D::kVertical, WC_BUTTON, "&Vertical", 75, 44, 60, 10, radio),
                  Control(IDC_STATIC, WC_STATIC, "DiSEqC input", 10, 62, 60, 10, 0),
                  Control(D::kInputA, WC_BUTTON, "A", 75, 62, 25, 10, radio | WS_GROUP),
                  Control(D::kInputA + 1, WC_BUTTON, "B", 105, 62, 25, 10, radio),
                  Control(D::kInputA + 2, WC_BUTTON, "C", 135, 62, 25, 10, radio),
                  Control(D::kInputD, WC_BUTTON, "D", 165, 62, 25, 10, radio),
                  Control(D::kDvbSQpsk, WC_BUTTON, "DVB-S QPSK", 10, 80, 70, 10, radio | WS_GROUP),
                  Control(D::kDvbS2Qpsk, WC_BUTTON, "DVB-S2 QPSK", 85, 80, 70, 10, radio),
                  Control(D::kDvbS28psk, WC_BUTTON, "DVB-S2 8PSK", 160, 80, 70, 10, radio),
                  Control(IDOK, WC_BUTTON, "OK", 130, 128, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 190, 128, 50, 14, BS_PUSHBUTTON)};
    return t;
}

DialogTemplate PciCableDialogTemplate() {
    using D = CDvbCDialog;
    DialogTemplate t;
    t.caption = "DVB-C card";
    t.cx = 200;
    t.cy = 110;
    t.controls = {Control(IDC_STATIC, WC_STATIC, "Frequency (MHz)", 10, 10, 70, 10, 0),
                  Control(D::kFrequencyEdit, WC_EDIT, "", 85, 8, 50, 12, ES_NUMBER),
                  Control(IDC_STATIC, WC_STATIC, "Symbol rate (kS/s)", 10, 26, 70, 10, 0),
                  Control(D::kSymbolRateEdit, WC_EDIT, "", 85, 24, 50, 12, ES_NUMBER),
                  Control(D::kOptionOn, WC_BUTTON, "On", 10, 44, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(D::kOptionOff, WC_BUTTON, "Off", 55, 44, 40, 10, BS_AUTORADIOBUTTON),
                  Control(IDC_STATIC, WC_STATIC, "Modulation", 10, 62, 70, 10, 0),
                  Control(D::kModulationList, WC_COMBOBOX, "", 85, 60, 60, 80, CBS_DROPDOWNLIST),
                  Control(IDOK, WC_BUTTON, "OK", 80, 88, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 140, 88, 50, 14, BS_PUSHBUTTON)};
    return t;
}

DialogTemplate PciTerrestrialDialogTemplate() {
    using D = CDvbTDialog;
    DialogTemplate t;
    t.caption = "DVB-T card";
    t.cx = 200;
    t.cy = 100;
    t.controls = {Control(IDC_STATIC, WC_STATIC, "Frequency (MHz)", 10, 10, 70, 10, 0),
                  Control(D::kFrequencyEdit, WC_EDIT, "", 85, 8, 50, 12, ES_NUMBER),
                  Control(D::kOptionOn, WC_BUTTON, "On", 10, 28, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(D::kOptionOff, WC_BUTTON, "Off", 55, 28, 40, 10, BS_AUTORADIOBUTTON),
                  Control(IDC_STATIC, WC_STATIC, "Bandwidth", 10, 46, 70, 10, 0),
                  Control(D::kBandwidthList, WC_COMBOBOX, "", 85, 44, 60, 80, CBS_DROPDOWNLIST),
                  Control(IDOK, WC_BUTTON, "OK", 80, 78, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 140, 78, 50, 14, BS_PUSHBUTTON)};
    return t;
}
