#include "feeds/DeliveryDescriptor.h"

namespace {
constexpr uint32_t kHighBandFromKHz = 11'700'000;
}  // namespace

uint32_t BcdValue(const uint8_t* bytes, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value = value * 100 + (bytes[i] >> 4) * 10 + (bytes[i] & 0x0F);
    return value;
}

uint32_t DescriptorBcdFrequency(const uint8_t* descriptor) { return BcdValue(descriptor + 2, 4); }

uint32_t DescriptorBcdSymbolRate(const uint8_t* descriptor) {
    // Dividing the 8-digit value by ten would carry a FEC nibble above 9 into the rate.
    return BcdValue(descriptor + 9, 3) * 10 + (descriptor[12] >> 4);
}

bool DeliveryTagSuits(uint32_t feedType, uint8_t tag) {
    switch (feedType) {
    case kFeedDvbS:
    case kFeedDvbS2: return tag == kSatelliteDeliveryTag;
    case kFeedDvbC:
    case kFeedDvbC2: return tag == kCableDeliveryTag;
    case kFeedDvbT:
    case kFeedDvbT2: return tag == kTerrestrialDeliveryTag;
    default: return false;
    }
}

bool DecodeDeliveryDescriptor(const uint8_t* descriptor, TuningParameters& record) {
    if (!descriptor || !DeliveryTagSuits(record.word[0], descriptor[0])) return false;
    uint32_t* w = record.word;
    switch (descriptor[0]) {
    case kSatelliteDeliveryTag: {
        w[1] = DescriptorBcdFrequency(descriptor) * 10;
        w[2] = DescriptorBcdSymbolRate(descriptor) * 100;
        w[6] = (descriptor[8] >> 5) & 1;
        w[5] = w[1] >= kHighBandFromKHz ? 1 : 0;
        const uint8_t modulation = descriptor[8] & 0x07;
        w[7] = modulation <= 3 ? 0 : modulation <= 5 ? 1 : 2;
        break;
    }
    case kCableDeliveryTag: {
        w[1] = DescriptorBcdFrequency(descriptor) / 10;
        w[2] = DescriptorBcdSymbolRate(descriptor) * 100;
        const uint8_t modulation = descriptor[8];
        w[7] = (modulation == 1 || modulation == 2 || modulation == 4 || modulation == 5) ? modulation : 3;
        break;
    }
    default: {
        const auto centre = static_cast<int32_t>(static_cast<uint32_t>(descriptor[2]) << 24 |
                                                 static_cast<uint32_t>(descriptor[3]) << 16 |
                                                 static_cast<uint32_t>(descriptor[4]) << 8 | descriptor[5]);
        w[1] = static_cast<uint32_t>(centre / 100);
        const uint8_t bandwidth = descriptor[6] >> 5;
        w[8] = (bandwidth >= 1 && bandwidth <= 3) ? bandwidth : 0;
        break;
    }
    }
    return true;
}
