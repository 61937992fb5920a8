#pragma once
// "BDA_DVBSCONFIG": frequency in MHz, symbol rate in kilosymbols per second,
// polarisation, modulation, and a button that fills the fields from the transponder list.
#include <string>

#include "feeds/bda/BdaTuningDialog.h"

class CBdaSatelliteDialog : public CBdaTuningDialog {
public:
    static constexpr const WCHAR* kTemplate = u"BDA_DVBSCONFIG";
    static constexpr int kSymbolRateEdit = 201;
    static constexpr int kHorizontal = 202;
    static constexpr int kVertical = 203;
    static constexpr int kDvbSQpsk = 204;
    static constexpr int kDvbS2Qpsk = 205;
    static constexpr int kDvbS28psk = 206;
    static constexpr int kTransponderListButton = 4712;

    // application: the settings name the transponder list remembers its choice under; null for none.
    CBdaSatelliteDialog(TuningParameters& record, const char* application, std::function<void()> accepted);

    INT_PTR OnCommand(WPARAM command, WORD notification) override;

protected:
    void FillControls() override;
    void ReadControls() override;

private:
    void PickTransponder();

    const char* application_;
};
