#pragma once
// CRC-32/MPEG-2: polynomial 0x04C11DB7, initial value 0xFFFFFFFF, no reflection, no
// final inversion. The check value of "123456789" is 0x0376E6E7. Header only, so that
// the tools can use it without linking the network library.
#include <cstddef>
#include <cstdint>

// Continues a CRC over more bytes; start with kCrc32Mpeg2Initial.
constexpr uint32_t kCrc32Mpeg2Initial = 0xFFFFFFFFu;

constexpr uint32_t Crc32Mpeg2Update(uint32_t crc, const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

constexpr uint32_t Crc32Mpeg2(const uint8_t* data, size_t length) {
    return Crc32Mpeg2Update(kCrc32Mpeg2Initial, data, length);
}
