#include "feeds/bda/BdaCableDialog.h"

void CBdaCableDialog::FillControls() {
    SetDlgItemInt(m_hwnd, kSymbolRateEdit, record_.word[2], FALSE);
    // 32-QAM has no button: it opens with none checked and stays unless one is chosen.
    int checked = 0;
    switch (record_.word[7]) {
    case 1: checked = kQam16; break;
    case 3: checked = kQam64; break;
    case 4: checked = kQam128; break;
    case 5: checked = kQam256; break;
    default: break;
    }
    CheckOnly({kQam16, kQam64, kQam128, kQam256}, checked);
}

void CBdaCableDialog::ReadControls() {
    record_.word[2] = GetDlgItemInt(m_hwnd, kSymbolRateEdit, nullptr, FALSE);
    ReadRadioGroup({{kQam16, 1}, {kQam64, 3}, {kQam128, 4}, {kQam256, 5}}, record_.word[7]);
}
