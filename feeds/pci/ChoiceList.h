#pragma once
// The drop-down lists of the card dialogs: each entry carries the driver's value for it.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/ui/DialogApi.h"

struct Choice {
    const char* text;
    uint32_t value;
};

// Adds the entries in order and selects the one whose value is current (none if no match).
void FillChoiceList(HWND dialog, int id, std::span<const Choice> choices, uint32_t current);
// The chosen entry's value; nothing when no entry is chosen.
std::optional<uint32_t> ChosenValue(HWND dialog, int id);
