#include "feeds/bda/BdaTerrestrialDialog.h"

void CBdaTerrestrialDialog::FillControls() {
    int checked = 0;
    switch (record_.word[8]) {
    case 0: checked = kBandwidth8; break;
    case 1: checked = kBandwidth7; break;
    case 2: checked = kBandwidth6; break;
    default: break;
    }
    CheckOnly({kBandwidth6, kBandwidth7, kBandwidth8}, checked);
}

void CBdaTerrestrialDialog::ReadControls() {
    ReadRadioGroup({{kBandwidth6, 2}, {kBandwidth7, 1}, {kBandwidth8, 0}}, record_.word[8]);
}
