#pragma once
// Where a simulated card's transport stream comes from.
#include <cstddef>
#include <cstdint>

class CardStreamSource {
public:
    virtual ~CardStreamSource() = default;
    // Copies up to `max` bytes that are due by now, waiting up to waitMs for one to fall
    // due; 0 when none came in that time.
    virtual size_t Read(uint8_t* out, size_t max, uint32_t waitMs) = 0;
};
