#include "net/RtpReceiver.h"

namespace {

constexpr int kRtpMinimumDatagram = 13;  // the fixed header and at least one byte
constexpr uint8_t kRtpPlainVersion2 = 0x80;
constexpr uint8_t kPayloadTypeMp2t = 33;

}  // namespace

// The receive thread calls OnDatagram through this object; it must be gone before the
// object stops being an RtpReceiver.
RtpReceiver::~RtpReceiver() { Stop(); }

void RtpReceiver::OnDatagram(const uint8_t* data, int length) {
    switch (mode_) {
        case RtpMode::Raw:
            Deliver(data, length);
            break;
        case RtpMode::Rtp:
            UnwrapRtp(data, length);
            break;
        case RtpMode::Auto:
            if (length >= kRtpMinimumDatagram && data[0] == kRtpPlainVersion2 && (data[1] & 0x7F) == kPayloadTypeMp2t) {
                UnwrapRtp(data, length);
            } else {
                Deliver(data, length);
            }
            break;
    }
}
