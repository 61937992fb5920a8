#include "net/RtpUnwrap.h"

namespace {

constexpr uint8_t kPaddingBit = 0x20;
constexpr uint8_t kExtensionBit = 0x10;
constexpr uint8_t kCsrcCountMask = 0x0F;
constexpr uint8_t kPayloadTypeMask = 0x7F;
constexpr int kExtensionHeaderSize = 4;
constexpr int kSequenceModulo = 0x10000;

bool IsVersion2(std::span<const uint8_t> d) { return !d.empty() && (d[0] >> 6) == kRtpVersion; }

}  // namespace

void RtpUnwrapper::Reset() {
    lastSequence_ = -1;
    expectedSequence_ = -1;
    lost_ = 0;
}

RtpUnwrapResult RtpUnwrapper::Unwrap(std::span<const uint8_t> datagram) {
    switch (mode_) {
        case RtpMode::Raw:
            return {RtpVerdict::Whole, datagram};
        case RtpMode::Rtp:
            return Payload(datagram);
        case RtpMode::Auto:
            if (datagram.size() > static_cast<size_t>(kRtpFixedHeaderSize) && IsVersion2(datagram) &&
                (datagram[1] & kPayloadTypeMask) == kRtpPayloadTypeMp2t) {
                return Payload(datagram);
            }
            return {RtpVerdict::Whole, datagram};
    }
    return {};
}

RtpUnwrapResult RtpUnwrapper::Payload(std::span<const uint8_t> d) {
    // Sizes are checked against what is left before each read, so a lying header can
    // never send a read past the datagram.
    if (d.size() < static_cast<size_t>(kRtpFixedHeaderSize) || !IsVersion2(d)) return {};
    size_t begin = kRtpFixedHeaderSize + 4u * (d[0] & kCsrcCountMask);
    if (begin > d.size()) return {};
    if (d[0] & kExtensionBit) {
        if (d.size() - begin < static_cast<size_t>(kExtensionHeaderSize)) return {};
        const size_t words = static_cast<size_t>(d[begin + 2]) << 8 | d[begin + 3];
        begin += kExtensionHeaderSize;
        if ((d.size() - begin) / 4 < words) return {};
        begin += 4 * words;
    }
    size_t end = d.size();
    if (d[0] & kPaddingBit) {
        // The count includes its own byte, so 0 is no valid padding.
        const size_t padding = d.back();
        if (padding == 0 || padding > end - begin) return {};
        end -= padding;
    }

    RtpUnwrapResult result;
    result.sequence = d[2] << 8 | d[3];
    if (result.sequence == lastSequence_) return {};
    lastSequence_ = result.sequence;
    if (expectedSequence_ >= 0 && expectedSequence_ != result.sequence) {
        result.expectedSequence = expectedSequence_;
        const int gap = (result.sequence - expectedSequence_ + kSequenceModulo) % kSequenceModulo;
        if (gap < kSequenceModulo / 2) lost_ += static_cast<uint64_t>(gap);
    }
    expectedSequence_ = (result.sequence + 1) % kSequenceModulo;
    if (begin == end) {
        result.verdict = RtpVerdict::Drop;
        return result;
    }
    result.verdict = RtpVerdict::Payload;
    result.data = d.subspan(begin, end - begin);
    return result;
}
