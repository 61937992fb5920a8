#include "feeds/bda/BdaSatelliteDialog.h"

#include "feeds/DeliveryDescriptor.h"
#include "feeds/transponders/TransponderListDialog.h"

namespace {
constexpr const char* kTransponderFile = "TransponderList.txt";
constexpr uint32_t kHighBandAboveKHz = 11'700'000;
constexpr uint32_t kSymbolsPerKilo = 1000;
// The descriptor's frequency is in 10 kHz units, its symbol rate in 100 symbols/s.
constexpr uint32_t kDescriptorUnitsPerMHz = 100;
constexpr uint32_t kDescriptorUnitsPerKiloSymbol = 10;
// Tag and length byte before the eleven bytes the fields lie in.
constexpr uint8_t kSatellitePayloadLength = 11;
}  // namespace

CBdaSatelliteDialog::CBdaSatelliteDialog(TuningParameters& record, const char* application,
                                         std::function<void()> accepted)
    : CBdaTuningDialog(kTemplate, record, std::move(accepted)), application_(application) {}

void CBdaSatelliteDialog::FillControls() {
    const uint32_t* w = record_.word;
    SetDlgItemInt(m_hwnd, kSymbolRateEdit, w[2] / kSymbolsPerKilo, FALSE);
    CheckOnly({kHorizontal, kVertical}, w[6] != 0 ? kVertical : kHorizontal);
    CheckOnly({kDvbSQpsk, kDvbS2Qpsk, kDvbS28psk}, w[7] == 1 ? kDvbS2Qpsk : w[7] == 2 ? kDvbS28psk : kDvbSQpsk);
}

void CBdaSatelliteDialog::ReadControls() {
    uint32_t* w = record_.word;
    w[2] = GetDlgItemInt(m_hwnd, kSymbolRateEdit, nullptr, FALSE) * kSymbolsPerKilo;
    w[6] = IsDlgButtonChecked(m_hwnd, kHorizontal) == BST_CHECKED ? 0 : 1;
    ReadRadioGroup({{kDvbSQpsk, 0}, {kDvbS2Qpsk, 1}, {kDvbS28psk, 2}}, w[7]);
    // Strictly above: a descriptor puts exactly 11700000 in the high band, OK does not.
    w[5] = w[1] > kHighBandAboveKHz ? 1 : 0;
}

INT_PTR CBdaSatelliteDialog::OnCommand(WPARAM command, WORD notification) {
    if (LOWORD(command) == kTransponderListButton) {
        PickTransponder();
        return TRUE;
    }
    return CBdaTuningDialog::OnCommand(command, notification);
}

void CBdaSatelliteDialog::PickTransponder() {
    uint16_t position = 0;
    uint8_t descriptor[kDescriptorCapacity] = {};
    TransponderListDialog list(application_, kTransponderFile);
    if (!list.Run(m_hwnd, &position, descriptor)) return;
    // Only a whole satellite descriptor carries the fields read below.
    if (descriptor[0] != kSatelliteDeliveryTag || descriptor[1] < kSatellitePayloadLength) return;

    SetDlgItemInt(m_hwnd, kFrequencyEdit, DescriptorBcdFrequency(descriptor) / kDescriptorUnitsPerMHz, FALSE);
    switch ((descriptor[8] >> 5) & 0x03) {
    case 0: CheckOnly({kHorizontal, kVertical}, kHorizontal); break;
    case 1: CheckOnly({kHorizontal, kVertical}, kVertical); break;
    default: break;  // circular: the person's choice stays
    }
    const uint8_t modulation = descriptor[8] & 0x07;
    if (modulation != 7)  // 7 is reserved: the person's choice stays
        CheckOnly({kDvbSQpsk, kDvbS2Qpsk, kDvbS28psk},
                  modulation <= 3 ? kDvbSQpsk : modulation <= 5 ? kDvbS2Qpsk : kDvbS28psk);
    SetDlgItemInt(m_hwnd, kSymbolRateEdit, DescriptorBcdSymbolRate(descriptor) / kDescriptorUnitsPerKiloSymbol, FALSE);
}
