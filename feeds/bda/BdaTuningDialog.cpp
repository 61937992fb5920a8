#include "feeds/bda/BdaTuningDialog.h"

#include "feeds/bda/BdaFrequencyText.h"

namespace {
constexpr int kFrequencyEntrySize = 100;
}  // namespace

CBdaTuningDialog::CBdaTuningDialog(const WCHAR* templateName, TuningParameters& record,
                                   std::function<void()> accepted)
    : CConfigDialog(templateName, nullptr), record_(record), accepted_(std::move(accepted)) {}

INT_PTR CBdaTuningDialog::OnInitDialog() {
    SetDlgItemTextA(m_hwnd, kFrequencyEdit, FormatBdaFrequency(record_.word[1]).c_str());
    FillControls();
    return TRUE;
}

INT_PTR CBdaTuningDialog::OnCommand(WPARAM command, WORD /*notification*/) {
    switch (LOWORD(command)) {
    case IDOK: {
        // The controls stay readable until the command has been handled.
        EndDialog(m_hwnd, 1);
        char entry[kFrequencyEntrySize] = {};
        GetDlgItemTextA(m_hwnd, kFrequencyEdit, entry, sizeof entry);
        record_.word[1] = ParseBdaFrequency(entry);
        ReadControls();
        if (accepted_) accepted_();
        return TRUE;
    }
    case IDCANCEL: EndDialog(m_hwnd, 0); return TRUE;
    default: return FALSE;
    }
}

void CBdaTuningDialog::ReadRadioGroup(std::initializer_list<std::pair<int, uint32_t>> buttons, uint32_t& word) {
    for (const auto& [id, value] : buttons)
        if (IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED) word = value;
}

void CBdaTuningDialog::CheckOnly(std::initializer_list<int> group, int checked) {
    for (int id : group) CheckDlgButton(m_hwnd, id, id == checked ? BST_CHECKED : BST_UNCHECKED);
}
