#pragma once
// The cable card's tuning dialog: frequency, symbol rate, option flag, modulation.
#include "feeds/ConfigDialog.h"

class CVMDVBPCIFeed;

class CDvbCDialog : public CConfigDialog {
public:
    static constexpr int kFrequencyEdit = 200;   // MHz
    static constexpr int kSymbolRateEdit = 201;  // kS/s
    static constexpr int kOptionOn = 203;
    static constexpr int kOptionOff = 204;
    static constexpr int kModulationList = 205;

    explicit CDvbCDialog(CVMDVBPCIFeed* feed);
    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

private:
    CVMDVBPCIFeed* feed_;
};
