#pragma once
// DVB delivery-system descriptors (satellite 0x43, cable 0x44, terrestrial 0x5A) decoded
// into a feed's tuning record. The card feeds and the SAT>IP pages share it.
#include <cstddef>
#include <cstdint>

#include "feeds/sdk/Feed.h"

constexpr uint8_t kSatelliteDeliveryTag = 0x43;
constexpr uint8_t kCableDeliveryTag = 0x44;
constexpr uint8_t kTerrestrialDeliveryTag = 0x5A;
// Tag, length and the eleven payload bytes that every decoded field lies in.
constexpr size_t kDeliveryDescriptorSize = 13;

// Hexadecimal digits read as decimal ones, most significant first; a digit above 9
// counts at its face value (0x1A is 20).
uint32_t BcdValue(const uint8_t* bytes, size_t count);
// The frequency field, bytes 2 to 5.
uint32_t DescriptorBcdFrequency(const uint8_t* descriptor);
// The upper 28 bits of bytes 9 to 12 (the low nibble is the inner FEC).
uint32_t DescriptorBcdSymbolRate(const uint8_t* descriptor);

// Whether the descriptor's tag is the delivery family of the feed type code.
bool DeliveryTagSuits(uint32_t feedType, uint8_t tag);

// Decodes into the record according to its word 0 (the feed type code); words the
// delivery system does not carry stay as they are. False, with the record untouched,
// for a null descriptor, a type outside 1 to 9, or a tag that does not suit the type.
// The descriptor must hold kDeliveryDescriptorSize bytes.
bool DecodeDeliveryDescriptor(const uint8_t* descriptor, TuningParameters& record);
