#include "feeds/pci/DvbTDialog.h"

#include "feeds/pci/ChoiceList.h"
#include "feeds/pci/VMDVBPCIFeed.h"

namespace {

constexpr const WCHAR* kTemplateName = u"DVBTCONFIGDLG";
constexpr uint32_t kHzPerMHz = 1'000'000;
// The driver's tuner wants these two words at 16 for every terrestrial tune.
constexpr uint32_t kTerrestrialFixedWord = 16;
constexpr Choice kBandwidths[] = {{"5 Mhz", 3}, {"6 Mhz", 2}, {"7 Mhz", 1}, {"8 Mhz", 0}};

}  // namespace

CDvbTDialog::CDvbTDialog(CVMDVBPCIFeed* feed) : CConfigDialog(kTemplateName, nullptr), feed_(feed) {}

INT_PTR CDvbTDialog::OnInitDialog() {
    const TuningParameters& record = feed_->Record();
    SetDlgItemInt(m_hwnd, kFrequencyEdit, feed_->DialogFrequency() / kHzPerMHz, FALSE);
    CheckDlgButton(m_hwnd, record.word[3] == 1 ? kOptionOn : kOptionOff, BST_CHECKED);
    FillChoiceList(m_hwnd, kBandwidthList, kBandwidths, record.word[8]);
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
        // Nothing chosen leaves the value as it was.
        if (const std::optional<uint32_t> chosen = ChosenValue(m_hwnd, kBandwidthList)) record.word[8] = *chosen;
        feed_->Tune(&record);
        return TRUE;
    }
    case IDCANCEL: EndDialog(m_hwnd, 0); return TRUE;
    default: return FALSE;
    }
}
