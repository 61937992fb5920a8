#include "host/HostResources.h"

#include "feeds/bda/BdaCableDialog.h"
#include "feeds/bda/BdaSatelliteDialog.h"
#include "feeds/bda/BdaSelectTypeDialog.h"
#include "feeds/bda/BdaTerrestrialDialog.h"
#include "feeds/file/FileFeedDialog.h"
#include "feeds/iptv/IptvConfigDialog.h"
#include "feeds/iptv/IptvHistoryDialog.h"
#include "feeds/pci/DvbCDialog.h"
#include "feeds/pci/DvbSDialog.h"
#include "feeds/pci/DvbTDialog.h"
#include "feeds/satip/SatIpNoticeDialog.h"
#include "feeds/satip/SatIpPages.h"
#include "feeds/satip/SatIpServerSelectDialog.h"
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
    RegisterDialogTemplate(self, "ALLPIDWARNDLG", SatIpPidAllNoticeTemplate());
    RegisterDialogTemplate(self, "SSDPSTOPDLG", SatIpSsdpStopTemplate());
    RegisterDialogTemplate(self, "SAT2IP_SERVERSELECT", SatIpServerSelectTemplate());
    RegisterDialogTemplate(self, "SAT2IP_DVB_S_S2", SatIpSatellitePageTemplate());
    RegisterDialogTemplate(self, "SAT2IP_DVB_T_T2", SatIpTerrestrialPageTemplate());
    RegisterDialogTemplate(self, "SAT2IP_DVB_C_C2", SatIpCablePageTemplate());
    RegisterDialogTemplate(self, "DVBPCIFEEDCONFIGDLG", PciSatelliteDialogTemplate());
    RegisterDialogTemplate(self, "DVBCCONFIGDLG", PciCableDialogTemplate());
    RegisterDialogTemplate(self, "DVBTCONFIGDLG", PciTerrestrialDialogTemplate());
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

namespace {
DialogTemplate Notice(const char* caption, const char* text, const char* check) {
    DialogTemplate t;
    t.caption = caption;
    t.cx = 260;
    t.cy = 90;
    t.controls = {Control(IDC_STATIC, WC_STATIC, text, 10, 10, 240, 40, 0),
                  Control(CSatIpNoticeDialog::kDontAskAgain, WC_BUTTON, check, 10, 52, 240, 10, BS_AUTOCHECKBOX),
                  Control(IDOK, WC_BUTTON, "OK", 140, 70, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 200, 70, 50, 14, BS_PUSHBUTTON)};
    return t;
}
}  // namespace

DialogTemplate SatIpPidAllNoticeTemplate() {
    return Notice("SAT>IP", "The server is asked for all PIDs of the transponder: this needs the full bandwidth of the "
                            "transponder on the network.",
                  "&Do not show this notice again");
}

DialogTemplate SatIpSsdpStopTemplate() {
    return Notice("SSDP client conflict", "A service of this system holds the SSDP port, so SAT>IP servers cannot be "
                                          "discovered. Stop the service now?",
                  "&Always stop it without asking");
}

DialogTemplate SatIpServerSelectTemplate() {
    using D = CSatIpServerSelectDialog;
    DialogTemplate t;
    t.caption = "Select SAT>IP Server";
    t.cx = 280;
    t.cy = 190;
    t.controls = {Control(D::kDiscovered, WC_BUTTON, "&Discovered server", 10, 8, 120, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(D::kServerList, WC_LISTBOX, "", 10, 22, 260, 70, LBS_NOTIFY),
                  Control(D::kManual, WC_BUTTON, "&Manual address", 10, 98, 120, 10, BS_AUTORADIOBUTTON),
                  Control(D::kManualLabel, WC_STATIC, "IPv4 address", 20, 114, 50, 10, 0),
                  Control(D::kManualAddress, WC_IPADDRESS, "", 75, 112, 100, 12, 0),
                  Control(D::kHttp, WC_BUTTON, "&HTTP", 10, 134, 60, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(D::kRtspUnicast, WC_BUTTON, "RTSP &unicast", 75, 134, 80, 10, BS_AUTORADIOBUTTON),
                  Control(D::kRtspMulticast, WC_BUTTON, "RTSP m&ulticast", 160, 134, 80, 10, BS_AUTORADIOBUTTON),
                  Control(IDOK, WC_BUTTON, "OK", 160, 168, 50, 14, BS_DEFPUSHBUTTON),
                  Control(IDCANCEL, WC_BUTTON, "Cancel", 220, 168, 50, 14, BS_PUSHBUTTON)};
    return t;
}

DialogTemplate SatIpSatellitePageTemplate() {
    using P = CSatIpSatellitePage;
    DialogTemplate t;
    t.caption = "DVB-S/S2";
    t.cx = 260;
    t.cy = 170;
    t.controls = {Control(IDC_STATIC, WC_STATIC, "Frequency (MHz)", 10, 10, 70, 10, 0),
                  Control(P::kFrequency, WC_EDIT, "", 85, 8, 50, 12, ES_NUMBER),
                  Control(IDC_STATIC, WC_STATIC, "Symbol rate (kS/s)", 10, 26, 70, 10, 0),
                  Control(P::kSymbolRate, WC_EDIT, "", 85, 24, 50, 12, ES_NUMBER),
                  Control(P::kPolH, WC_BUTTON, "H", 10, 44, 25, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kPolH + 1, WC_BUTTON, "V", 40, 44, 25, 10, BS_AUTORADIOBUTTON),
                  Control(P::kPolH + 2, WC_BUTTON, "L", 70, 44, 25, 10, BS_AUTORADIOBUTTON),
                  Control(P::kPolR, WC_BUTTON, "R", 100, 44, 25, 10, BS_AUTORADIOBUTTON),
                  Control(P::kDvbS, WC_BUTTON, "DVB-S", 10, 60, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kDvbS2, WC_BUTTON, "DVB-S2", 55, 60, 40, 10, BS_AUTORADIOBUTTON),
                  Control(P::kQpsk, WC_BUTTON, "QPSK", 110, 60, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::k8psk, WC_BUTTON, "8PSK", 155, 60, 40, 10, BS_AUTORADIOBUTTON),
                  Control(P::kSource1, WC_BUTTON, "Src 1", 10, 76, 35, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kSource1 + 1, WC_BUTTON, "Src 2", 50, 76, 35, 10, BS_AUTORADIOBUTTON),
                  Control(P::kSource1 + 2, WC_BUTTON, "Src 3", 90, 76, 35, 10, BS_AUTORADIOBUTTON),
                  Control(P::kSource4, WC_BUTTON, "Src 4", 130, 76, 35, 10, BS_AUTORADIOBUTTON),
                  Control(IDC_STATIC, WC_STATIC, "FEC", 10, 94, 30, 10, 0),
                  Control(P::kFec, WC_COMBOBOX, "", 45, 92, 50, 80, CBS_DROPDOWNLIST),
                  Control(P::kRollOff035, WC_BUTTON, "0.35", 10, 112, 35, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kRollOff025, WC_BUTTON, "0.25", 50, 112, 35, 10, BS_AUTORADIOBUTTON),
                  Control(P::kRollOff020, WC_BUTTON, "0.20", 90, 112, 35, 10, BS_AUTORADIOBUTTON),
                  Control(P::kPilotsOn, WC_BUTTON, "Pilots on", 10, 128, 50, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kPilotsOff, WC_BUTTON, "Pilots off", 65, 128, 50, 10, BS_AUTORADIOBUTTON),
                  Control(P::kTransponderList, WC_BUTTON, "&Transponder list...", 150, 148, 100, 14, BS_PUSHBUTTON)};
    return t;
}

DialogTemplate SatIpTerrestrialPageTemplate() {
    using P = CSatIpTerrestrialPage;
    DialogTemplate t;
    t.caption = "DVB-T/T2";
    t.cx = 260;
    t.cy = 170;
    t.controls = {Control(IDC_STATIC, WC_STATIC, "Frequency (MHz)", 10, 10, 70, 10, 0),
                  Control(P::kFrequency, WC_EDIT, "", 85, 8, 50, 12, ES_NUMBER),
                  Control(IDC_STATIC, WC_STATIC, "Bandwidth (MHz)", 10, 26, 70, 10, 0),
                  Control(P::kBandwidth, WC_COMBOBOX, "", 85, 24, 50, 80, CBS_DROPDOWNLIST),
                  Control(P::kDvbT, WC_BUTTON, "DVB-T", 150, 10, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kDvbT2, WC_BUTTON, "DVB-T2", 195, 10, 45, 10, BS_AUTORADIOBUTTON),
                  Control(IDC_STATIC, WC_STATIC, "Mode (k)", 10, 42, 70, 10, 0),
                  Control(P::kMode, WC_COMBOBOX, "", 85, 40, 50, 80, CBS_DROPDOWNLIST),
                  Control(P::kQpsk, WC_BUTTON, "QPSK", 10, 58, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kQam16, WC_BUTTON, "16-QAM", 55, 58, 45, 10, BS_AUTORADIOBUTTON),
                  Control(P::kQam64, WC_BUTTON, "64-QAM", 105, 58, 45, 10, BS_AUTORADIOBUTTON),
                  Control(IDC_STATIC, WC_STATIC, "Guard interval", 10, 76, 70, 10, 0),
                  Control(P::kGuard, WC_COMBOBOX, "", 85, 74, 50, 80, CBS_DROPDOWNLIST),
                  Control(IDC_STATIC, WC_STATIC, "FEC", 10, 92, 70, 10, 0),
                  Control(P::kFec, WC_COMBOBOX, "", 85, 90, 50, 80, CBS_DROPDOWNLIST),
                  Control(IDC_STATIC, WC_STATIC, "PLP", 10, 108, 70, 10, 0),
                  Control(P::kPlp, WC_EDIT, "", 85, 106, 50, 12, ES_NUMBER),
                  Control(IDC_STATIC, WC_STATIC, "T2 system id", 10, 124, 70, 10, 0),
                  Control(P::kSystemId, WC_EDIT, "", 85, 122, 50, 12, ES_NUMBER),
                  Control(P::kMisoOff, WC_BUTTON, "MISO off", 10, 140, 50, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kMisoOn, WC_BUTTON, "MISO on", 65, 140, 50, 10, BS_AUTORADIOBUTTON)};
    return t;
}

DialogTemplate SatIpCablePageTemplate() {
    using P = CSatIpCablePage;
    DialogTemplate t;
    t.caption = "DVB-C/C2";
    t.cx = 260;
    t.cy = 170;
    t.controls = {Control(IDC_STATIC, WC_STATIC, "Frequency (MHz)", 10, 10, 70, 10, 0),
                  Control(P::kFrequency, WC_EDIT, "", 85, 8, 50, 12, ES_NUMBER),
                  Control(P::kDvbC, WC_BUTTON, "DVB-C", 150, 10, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kDvbC2, WC_BUTTON, "DVB-C2", 195, 10, 45, 10, BS_AUTORADIOBUTTON),
                  Control(P::kGroupCFirst, WC_STATIC, "DVB-C", 10, 30, 240, 10, 0),
                  Control(P::kModulation, WC_COMBOBOX, "", 85, 42, 60, 80, CBS_DROPDOWNLIST),
                  Control(P::kSymbolRate, WC_EDIT, "", 85, 58, 50, 12, ES_NUMBER),
                  Control(P::kInverted, WC_BUTTON, "Inverted", 10, 76, 50, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kNotInverted, WC_BUTTON, "Not inverted", 65, 76, 60, 10, BS_AUTORADIOBUTTON),
                  Control(P::kGroupC2First, WC_STATIC, "DVB-C2", 10, 30, 240, 10, 0),
                  Control(P::kTuning0, WC_BUTTON, "Tuning 0", 10, 42, 45, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::kTuning0 + 1, WC_BUTTON, "Tuning 1", 60, 42, 45, 10, BS_AUTORADIOBUTTON),
                  Control(P::kTuning2, WC_BUTTON, "Tuning 2", 110, 42, 45, 10, BS_AUTORADIOBUTTON),
                  Control(P::k8MHz, WC_BUTTON, "8 MHz", 10, 58, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP),
                  Control(P::k6MHz, WC_BUTTON, "6 MHz", 55, 58, 40, 10, BS_AUTORADIOBUTTON),
                  Control(P::kDataSlice, WC_EDIT, "", 85, 74, 50, 12, ES_NUMBER),
                  Control(P::kPlp, WC_EDIT, "", 85, 90, 50, 12, ES_NUMBER)};
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
