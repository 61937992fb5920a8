#include "feeds/bda/BdaSelectTypeDialog.h"

#include "feeds/sdk/Feed.h"

INT_PTR CBdaSelectTypeDialog::OnInitDialog() {
    int checked = 0;
    switch (lastSelectedType_) {
    case kFeedDvbS: checked = kDvbS; break;
    case kFeedDvbC:
    case kFeedDvbC2: checked = kDvbC; break;
    case kFeedDvbT:
    case kFeedDvbT2: checked = kDvbT; break;
    case kFeedDvbS2: checked = kDvbS2; break;
    default: break;
    }
    if (checked) CheckDlgButton(m_hwnd, checked, BST_CHECKED);
    return TRUE;
}

INT_PTR CBdaSelectTypeDialog::OnCommand(WPARAM command, WORD /*notification*/) {
    if (LOWORD(command) != IDOK) return FALSE;
    const std::pair<int, int32_t> buttons[] = {{kDvbS, kFeedDvbS}, {kDvbC, kFeedDvbC}, {kDvbT, kFeedDvbT},
                                               {kDvbS2, kFeedDvbS2}};
    for (const auto& [id, type] : buttons)
        if (IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED) lastSelectedType_ = type;
    EndDialog(m_hwnd, lastSelectedType_);
    return TRUE;
}
