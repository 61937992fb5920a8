#include "host/HostResources.h"

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
