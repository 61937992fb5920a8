#pragma once
// The terrestrial card's tuning dialog: frequency, option flag, bandwidth. This card
// type takes its frequency in Hz.
#include "feeds/ConfigDialog.h"

class CVMDVBPCIFeed;

class CDvbTDialog : public CConfigDialog {
public:
    static constexpr int kFrequencyEdit = 200;  // MHz
    static constexpr int kBandwidthList = 201;
    static constexpr int kOptionOn = 203;
    static constexpr int kOptionOff = 204;

    explicit CDvbTDialog(CVMDVBPCIFeed* feed);
    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

private:
    CVMDVBPCIFeed* feed_;
};
