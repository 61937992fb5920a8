#pragma once
// Senders, the recorder and private network namespaces for the IPTV
// feed tests. Nothing here sends anywhere but loopback or a namespace of the test's own.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/Sockets.h"
#include "tests/support/Datagrams.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/SampleRecorder.h"
#include "tests/support/WaitUntil.h"

namespace iptvtest {

using nettest::Bytes;
using nettest::Loopback;
using nettest::Rtp;
using nettest::Sender;
using namespace std::chrono_literals;

// Whole transport packets whose bytes differ from packet to packet.
inline Bytes Packets(size_t count, uint8_t seed) {
    Bytes b(count * 188);
    for (size_t i = 0; i < b.size(); ++i) b[i] = (i % 188 == 0) ? 0x47 : static_cast<uint8_t>(seed + i * 13 + (i >> 9));
    return b;
}

inline NetAddress V6(uint8_t first, uint8_t second, uint8_t last, uint16_t port) {
    uint8_t b[16] = {first, second};
    b[15] = last;
    return MakeIPv6Address(b, port);
}

using Recorder = SampleRecorder;

}  // namespace iptvtest
