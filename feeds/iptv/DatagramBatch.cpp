#include "feeds/iptv/DatagramBatch.h"

#include <algorithm>
#include <cerrno>

DatagramBatch::DatagramBatch(uint32_t slots)
    : slots_(std::max<uint32_t>(slots, 1)),
      buffer_(new uint8_t[size_t{slots_} * kSlotSize]),
      headers_(slots_),
      vectors_(slots_) {
    for (uint32_t i = 0; i < slots_; ++i) {
        vectors_[i] = {buffer_.get() + size_t{i} * kSlotSize, kSlotSize};
        headers_[i] = {};
        headers_[i].msg_hdr.msg_iov = &vectors_[i];
        headers_[i].msg_hdr.msg_iovlen = 1;
    }
}

int DatagramBatch::Fetch(SocketHandle socket, bool wait, uint32_t most) {
    most = std::clamp<uint32_t>(most, 1, slots_);
    count_ = next_ = 0;
    int n;
    do n = ::recvmmsg(socket, headers_.data(), most, wait ? MSG_WAITFORONE : MSG_DONTWAIT, nullptr);
    while (n < 0 && errno == EINTR);
    if (n > 0) count_ = static_cast<uint32_t>(n);
    drained_ = n < static_cast<int>(most);
    return n;
}

bool DatagramBatch::Peek(const uint8_t** data, uint32_t* length) const {
    if (next_ >= count_) return false;
    *data = static_cast<const uint8_t*>(vectors_[next_].iov_base);
    *length = headers_[next_].msg_len;
    return true;
}
