#include "feeds/pci/PacketSplitter.h"

#include <cstring>

namespace {
constexpr uint8_t kSync = 0x47;
// Any value but the sync byte: the partial packet no longer starts a packet.
constexpr uint8_t kNoSync = 0x48;
}  // namespace

void CPacketSplitter::SetHandler(void* context, PacketHandler handler) {
    std::lock_guard lock(lock_);
    context_ = context;
    handler_ = handler;
}

void CPacketSplitter::Reset() {
    std::lock_guard lock(lock_);
    fill_ = 0;
    partial_[0] = kNoSync;
}

void CPacketSplitter::Run(const uint8_t* d, size_t n, size_t P) {
    std::lock_guard lock(lock_);
    if (P < kPacketSize) P = kPacketSize;
    size_t i = 0;
    while (i < n) {
        if (fill_ == 0 && d[i] == kSync && n - i >= P) {
            // Aligned packets in a row go out together.
            size_t count = 1;
            while (n - i - count * P >= P && d[i + count * P] == kSync) ++count;
            if (handler_) handler_(context_, d + i, count, P);
            i += count * P;
            continue;
        }
        if (partial_[0] == kSync && fill_ > 0) {
            // Whole bytes at once up to the packet's end; the same as appending each.
            size_t take = kPacketSize - fill_;
            if (take > n - i) take = n - i;
            std::memcpy(partial_ + fill_, d + i, take);
            fill_ += take;
            i += take;
            if (fill_ == kPacketSize) {
                if (handler_) handler_(context_, partial_, 1, kPacketSize);
                fill_ = 0;
                partial_[0] = kNoSync;
                if (P > kPacketSize && n - i >= P - kPacketSize) i += P - kPacketSize;
            }
            continue;
        }
        // Hunting: a new partial packet begins with this byte.
        partial_[0] = d[i];
        fill_ = 1;
        ++i;
        if (partial_[0] != kSync) fill_ = 0;
    }
}
