#include "feeds/satip/SatIpNoticeDialog.h"

INT_PTR CSatIpNoticeDialog::OnCommand(WPARAM command, WORD /*notification*/) {
    switch (LOWORD(command)) {
        case IDOK:
            EndDialog(Window(), IsDlgButtonChecked(Window(), kDontAskAgain) == BST_CHECKED ? okTicked_ : okPlain_);
            return 1;
        case IDCANCEL:
            EndDialog(Window(), 0);
            return 1;
        default:
            return 0;
    }
}
