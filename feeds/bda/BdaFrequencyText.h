#pragma once
// How the tuning dialogs show and read word 1 of the record: whole thousands as an
// integer, anything else as thousandths with six decimals; entries take a comma as the
// decimal mark.
#include <cstdint>
#include <string>

std::string FormatBdaFrequency(uint32_t frequency);
// At most the first 99 characters count; 0 when no number leads the text.
uint32_t ParseBdaFrequency(const char* text);
