#include "feeds/DiseqcSwitch.h"

std::array<uint8_t, 4> CommittedSwitchMessage(uint8_t input, bool highBand, bool vertical) {
    constexpr uint8_t kAnyLnb = 0x10;
    constexpr uint8_t kWriteCommittedSwitches = 0x38;
    uint8_t data = 0xF0;
    if (input & 2) data |= 8;  // C and D
    if (input & 1) data |= 4;  // B and D
    if (!vertical) data |= 2;
    if (highBand) data |= 1;
    return {kDiseqcFirstTransmission, kAnyLnb, kWriteCommittedSwitches, data};
}
