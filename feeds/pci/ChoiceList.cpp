#include "feeds/pci/ChoiceList.h"

void FillChoiceList(HWND dialog, int id, std::span<const Choice> choices, uint32_t current) {
    for (const Choice& choice : choices) {
        const LRESULT index = SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.text));
        SendDlgItemMessageA(dialog, id, CB_SETITEMDATA, static_cast<WPARAM>(index), choice.value);
        if (choice.value == current) SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

std::optional<uint32_t> ChosenValue(HWND dialog, int id) {
    const LRESULT selected = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return std::nullopt;
    return static_cast<uint32_t>(SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0));
}
