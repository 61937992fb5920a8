#include "feeds/pci/DvbCDialog.h"

#include "feeds/pci/ChoiceList.h"
#include "feeds/pci/VMDVBPCIFeed.h"

namespace {

constexpr const WCHAR* kTemplateName = u"DVBCCONFIGDLG";
constexpr Choice kModulations[] = {{"QAM  16", 1}, {"QAM  32", 2}, {"QAM  64", 3}, {"QAM 128", 4}, {"QAM 256", 5}};

}  // namespace

CDvbCDialog::CDvbCDialog(CVMDVBPCIFeed* feed) : CConfigDialog(kTemplateName, nullptr), feed_(feed) {}

INT_PTR CDvbCDialog::OnInitDialog() {
    const TuningParameters& record = feed_->Record();
    SetDlgItemInt(m_hwnd, kFrequencyEdit, feed_->DialogFrequency() / 1000, FALSE);
    SetDlgItemInt(m_hwnd, kSymbolRateEdit, feed_->DialogSymbolRate() / 1000, FALSE);
    CheckDlgButton(m_hwnd, record.word[3] == 1 ? kOptionOn : kOptionOff, BST_CHECKED);
    FillChoiceList(m_hwnd, kModulationList, kModulations, record.word[7]);
    return TRUE;
}

INT_PTR CDvbCDialog::OnCommand(WPARAM command, WORD /*notification*/) {
    switch (LOWORD(command)) {
    case IDOK: {
        const uint32_t frequency = GetDlgItemInt(m_hwnd, kFrequencyEdit, nullptr, FALSE) * 1000u;
        const uint32_t symbolRate = GetDlgItemInt(m_hwnd, kSymbolRateEdit, nullptr, FALSE) * 1000u;
        feed_->SetDialogMirrors(frequency, symbolRate, feed_->DialogVertical());
        TuningParameters& record = feed_->Record();
        record.word[3] = IsDlgButtonChecked(m_hwnd, kOptionOn) == BST_CHECKED ? 1 : 0;
        record.word[1] = frequency;
        record.word[2] = symbolRate;
        // Nothing chosen leaves the value as it was.
        if (const std::optional<uint32_t> chosen = ChosenValue(m_hwnd, kModulationList)) record.word[7] = *chosen;
        feed_->Tune(&record);
        EndDialog(m_hwnd, 1);
        return TRUE;
    }
    case IDCANCEL: EndDialog(m_hwnd, 0); return TRUE;
    default: return FALSE;
    }
}
