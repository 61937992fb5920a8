#include "feeds/pci/DvbSDialog.h"

#include "feeds/DeliveryDescriptor.h"
#include "feeds/DiseqcSwitch.h"
#include "feeds/pci/VMDVBPCIFeed.h"
#include "feeds/transponders/TransponderListDialog.h"
#include "platform/system/Tick.h"

namespace {

constexpr const WCHAR* kTemplateName = u"DVBPCIFEEDCONFIGDLG";
constexpr DWORD kSwitchSettleMs = 50;

// Orbital positions (BCD, tenths of a degree) wired to the switch inputs A to D.
constexpr uint16_t kInputPositions[] = {0x0192, 0x0130, 0x0282, 0x0235};

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

}  // namespace

CDvbSDialog::CDvbSDialog(CVMDVBPCIFeed* feed) : CConfigDialog(kTemplateName, nullptr), feed_(feed) {}

INT_PTR CDvbSDialog::OnInitDialog() {
    const TuningParameters& record = feed_->Record();
    SetDlgItemInt(m_hwnd, kFrequencyEdit, feed_->DialogFrequency() / 1000, FALSE);
    SetDlgItemInt(m_hwnd, kSymbolRateEdit, feed_->DialogSymbolRate() / 1000, FALSE);
    CheckDlgButton(m_hwnd, feed_->DialogVertical() ? kVertical : kHorizontal, BST_CHECKED);
    if (feed_->GetType() != kFeedDvbS2)
        for (int id = kDvbSQpsk; id <= kDvbS28psk; ++id) EnableWindow(GetDlgItem(m_hwnd, id), FALSE);
    if (record.word[7] <= 2) CheckDlgButton(m_hwnd, kDvbSQpsk + static_cast<int>(record.word[7]), BST_CHECKED);
    if (feed_->DiseqcInput() <= 3) CheckDlgButton(m_hwnd, kInputA + feed_->DiseqcInput(), BST_CHECKED);
    return TRUE;
}

INT_PTR CDvbSDialog::OnCommand(WPARAM command, WORD /*notification*/) {
    switch (LOWORD(command)) {
    case IDOK: Accept(); return TRUE;
    case IDCANCEL: EndDialog(m_hwnd, 0); return TRUE;
    case kTransponderButton: PickTransponder(); return TRUE;
    default: return FALSE;
    }
}

void CDvbSDialog::Accept() {
    // The controls stay readable until the modal loop returns.
    EndDialog(m_hwnd, 1);
    const uint32_t frequency = GetDlgItemInt(m_hwnd, kFrequencyEdit, nullptr, FALSE) * 1000u;
    const uint32_t symbolRate = GetDlgItemInt(m_hwnd, kSymbolRateEdit, nullptr, FALSE) * 1000u;
    const bool vertical = !Checked(m_hwnd, kHorizontal);
    feed_->SetDialogMirrors(frequency, symbolRate, vertical);

    TuningParameters& record = feed_->Record();
    record.word[1] = frequency;
    record.word[5] = frequency > CVMDVBPCIFeed::kHighBandAboveKHz ? 1 : 0;
    record.word[2] = symbolRate;
    record.word[6] = vertical ? 1 : 0;
    for (int id = kDvbSQpsk; id <= kDvbS28psk; ++id)
        if (Checked(m_hwnd, id)) record.word[7] = static_cast<uint32_t>(id - kDvbSQpsk);
    for (int id = kInputA; id <= kInputD; ++id)
        if (Checked(m_hwnd, id)) feed_->SetDiseqcInput(static_cast<uint8_t>(id - kInputA));

    auto message = CommittedSwitchMessage(feed_->DiseqcInput(), record.word[5] != 0, vertical);
    for (int i = 0; i < kDiseqcTransmissions; ++i) {
        feed_->SendDiseqcMessage(message.data(), static_cast<uint32_t>(message.size()));
        message[0] = kDiseqcRepeatedTransmission;
    }
    Sleep(kSwitchSettleMs);
    feed_->Tune(&record);
}

void CDvbSDialog::PickTransponder() {
    uint16_t position = 0;
    uint8_t descriptor[kDescriptorCapacity] = {};
    TransponderListDialog list(feed_->ApplicationName(), kTransponderListFileName);
    if (!list.Run(m_hwnd, &position, descriptor)) return;

    SetDlgItemInt(m_hwnd, kFrequencyEdit, DescriptorBcdFrequency(descriptor) / 100, FALSE);
    for (int input = 0; input < 4; ++input)
        if (kInputPositions[input] == position) CheckRadioButton(m_hwnd, kInputA, kInputD, kInputA + input);
    const uint8_t flags = descriptor[8];
    const int polarisation = (flags >> 5) & 3;
    if (polarisation == 0) CheckRadioButton(m_hwnd, kHorizontal, kVertical, kHorizontal);
    if (polarisation == 1) CheckRadioButton(m_hwnd, kHorizontal, kVertical, kVertical);
    const int modulation = flags & 7;
    if (modulation <= 3) CheckRadioButton(m_hwnd, kDvbSQpsk, kDvbS28psk, kDvbSQpsk);
    else if (modulation <= 5) CheckRadioButton(m_hwnd, kDvbSQpsk, kDvbS28psk, kDvbS2Qpsk);
    else if (modulation == 6) CheckRadioButton(m_hwnd, kDvbSQpsk, kDvbS28psk, kDvbS28psk);
    SetDlgItemInt(m_hwnd, kSymbolRateEdit, DescriptorBcdSymbolRate(descriptor) / 10, FALSE);
}
