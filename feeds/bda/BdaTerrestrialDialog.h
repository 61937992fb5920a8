#pragma once
// "BDA_DVBTCONFIG": frequency in MHz and channel bandwidth.
#include "feeds/bda/BdaTuningDialog.h"

class CBdaTerrestrialDialog : public CBdaTuningDialog {
public:
    static constexpr const WCHAR* kTemplate = u"BDA_DVBTCONFIG";
    static constexpr int kBandwidth6 = 203;
    static constexpr int kBandwidth7 = 204;
    static constexpr int kBandwidth8 = 205;

    CBdaTerrestrialDialog(TuningParameters& record, std::function<void()> accepted)
        : CBdaTuningDialog(kTemplate, record, std::move(accepted)) {}

protected:
    void FillControls() override;
    void ReadControls() override;
};
