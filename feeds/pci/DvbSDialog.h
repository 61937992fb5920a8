#pragma once
// The satellite card's tuning dialog: frequency, symbol rate, polarisation, DiSEqC
// input, modulation, and a transponder picked from the shared list. OK sends the
// committed-switch message and tunes.
#include "feeds/ConfigDialog.h"

class CVMDVBPCIFeed;

class CDvbSDialog : public CConfigDialog {
public:
    static constexpr int kFrequencyEdit = 200;   // MHz
    static constexpr int kSymbolRateEdit = 201;  // kS/s
    static constexpr int kHorizontal = 202;
    static constexpr int kVertical = 203;
    static constexpr int kInputA = 205;          // ... 208 for D
    static constexpr int kInputD = 208;
    static constexpr int kDvbSQpsk = 209;
    static constexpr int kDvbS2Qpsk = 210;
    static constexpr int kDvbS28psk = 211;
    static constexpr int kTransponderButton = 4712;

    explicit CDvbSDialog(CVMDVBPCIFeed* feed);
    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

private:
    void Accept();
    void PickTransponder();

    CVMDVBPCIFeed* feed_;
};
