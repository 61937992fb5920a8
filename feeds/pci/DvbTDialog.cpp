#include "feeds/pci/DvbTDialog.h"

#include "feeds/pci/VMDVBPCIFeed.h"

namespace {

constexpr const WCHAR* kTemplateName = u"DVBTCONFIGDLG";
constexpr uint32_t kHzPerMHz = 1'000'000;
// The driver's tuner wants these two words at 16 for every terrestrial tune.
constexpr uint32_t kTerrestrialFixedWord = 16;
struct Item {
    const char* text;
    uint32_t value;
};
constexpr Item kBandwidths[] = {{"5 Mhz", 3}, {"6 Mhz", 2}, {"7 Mhz", 1}, {"8 Mhz", 0}};

}  // namespace

CDvbTDialog::CDvbTDialog(CVMDVBPCIFeed* feed) : CConfigDialog(kTemplateName, nullptr), feed_(feed) {}

INT_PTR CDvbTDialog::OnInitDialog() {
    const TuningParameters& record = feed_->Record();
    SetDlgItemInt(m_hwnd, kFrequencyEdit, feed_->DialogFrequency() / kHzPerMHz, FALSE);
    CheckDlgButton(m_hwnd, record.word[3] == 1 ? kOptionOn : kOptionOff, BST_CHECKED);
    for (const Item& item : kBandwidths) {
        const LRESULT index = SendDlgItemMessageA(m_hwnd, kBandwidthList, CB_ADDSTRING, 0,
                                                  reinterpret_cast<LPARAM>(item.text));
        SendDlgItemMessageA(m_hwnd, kBandwidthList, CB_SETITEMDATA, static_cast<WPARAM>(index), item.value);
        if (item.value == record.word[8])
            SendDlgItemMessageA(m_hwnd, kBandwidthList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    return TRUE;
}

INT_PTR CDvbTDialog::OnCommand(WPARAM command, WORD /*notification*/) {
    switch (LOWORD(command)) {
    case IDOK: {
        EndDialog(m_hwnd, 1);
        const uint32_t frequency = GetDlgItemInt(m_hwnd, kFrequencyEdit, nullptr, FALSE) * kHzPerMHz;
        feed_->SetDialogMirrors(frequency, feed_->DialogSymbolRate(), feed_->DialogVertical());
        TuningParameters& record = feed_->Record();
        record.word[3] = IsDlgButtonChecked(m_hwnd, kOptionOn) == BST_CHECKED ? 1 : 0;
        record.word[1] = frequency;
        record.word[11] = kTerrestrialFixedWord;
        record.word[13] = kTerrestrialFixedWord;
        const LRESULT selected = SendDlgItemMessageA(m_hwnd, kBandwidthList, CB_GETCURSEL, 0, 0);
        if (selected != CB_ERR)
            record.word[8] = static_cast<uint32_t>(
                SendDlgItemMessageA(m_hwnd, kBandwidthList, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0));
        feed_->Tune(&record);
        return TRUE;
    }
    case IDCANCEL: EndDialog(m_hwnd, 0); return TRUE;
    default: return FALSE;
    }
}
