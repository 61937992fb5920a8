#pragma once
// The settings dialogs of a BDA feed. They edit the feed's tuning record: OK ends the
// dialog, reads the controls into the record and lets the feed tune to it; Cancel
// changes nothing. This class holds what all of them share, the frequency field, and is
// on its own the ATSC dialog, whose only field is the channel number.
#include <cstdint>
#include <functional>

#include "feeds/ConfigDialog.h"
#include "feeds/sdk/Feed.h"

class CBdaTuningDialog : public CConfigDialog {
public:
    static constexpr int kFrequencyEdit = 200;
    static constexpr const WCHAR* kAtscTemplate = u"BDA_ATSCCONFIG";

    // accepted runs after the record took the entries (the feed tunes there).
    CBdaTuningDialog(const WCHAR* templateName, TuningParameters& record, std::function<void()> accepted);

    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

protected:
    virtual void FillControls() {}
    virtual void ReadControls() {}
    // Of the buttons, the value of the last one checked; the word stays when none is.
    void ReadRadioGroup(std::initializer_list<std::pair<int, uint32_t>> buttons, uint32_t& word);
    void CheckOnly(std::initializer_list<int> group, int checked);

    TuningParameters& record_;

private:
    std::function<void()> accepted_;
};
