#pragma once
// "BDA_DVBCCONFIG": frequency in MHz, symbol rate in symbols per second, modulation.
#include "feeds/bda/BdaTuningDialog.h"

class CBdaCableDialog : public CBdaTuningDialog {
public:
    static constexpr const WCHAR* kTemplate = u"BDA_DVBCCONFIG";
    static constexpr int kSymbolRateEdit = 201;
    static constexpr int kQam16 = 202;
    static constexpr int kQam64 = 203;
    static constexpr int kQam128 = 204;
    static constexpr int kQam256 = 205;

    CBdaCableDialog(TuningParameters& record, std::function<void()> accepted)
        : CBdaTuningDialog(kTemplate, record, std::move(accepted)) {}

protected:
    void FillControls() override;
    void ReadControls() override;
};
