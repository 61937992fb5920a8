#pragma once
// The DiSEqC committed-switch message that picks one of four LNB inputs and sets the
// band and polarisation lines; the satellite dialogs and the host's tuning share it.
#include <array>
#include <cstdint>

constexpr uint8_t kDiseqcFirstTransmission = 0xE0;
constexpr uint8_t kDiseqcRepeatedTransmission = 0xE1;
// How often the message goes out in all: a switch that missed the first one while
// waking up catches a repetition.
constexpr int kDiseqcTransmissions = 3;

// input 0..3 for A..D; higher inputs wrap into that range.
std::array<uint8_t, 4> CommittedSwitchMessage(uint8_t input, bool highBand, bool vertical);
