#pragma once
// "BDA_SELECTTYPE": asks which delivery system a tuner serves when its name does not
// tell. It closes only with OK and ends with the chosen feed type code.
#include <cstdint>

#include "feeds/ConfigDialog.h"

class CBdaSelectTypeDialog : public CConfigDialog {
public:
    static constexpr const WCHAR* kTemplate = u"BDA_SELECTTYPE";
    static constexpr int kDvbT = 200;
    static constexpr int kDvbC = 201;
    static constexpr int kDvbS = 202;
    static constexpr int kDvbS2 = 203;

    // lastSelectedType: opens checked, takes the choice on OK.
    explicit CBdaSelectTypeDialog(int32_t& lastSelectedType)
        : CConfigDialog(kTemplate, nullptr), lastSelectedType_(lastSelectedType) {}

    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

private:
    int32_t& lastSelectedType_;
};
