#pragma once
// The two local UDP ports of an RTP session: the stream on an even port P, its
// control reports on P + 1.
#include <cstdint>

#include "net/ReceiveSocket.h"

struct RtpPortPair {
    SocketHandle rtp = kInvalidSocket;   // on `port`, with the large receive buffer
    SocketHandle rtcp = kInvalidSocket;  // on `port` + 1
    uint16_t port = 0;
};

// Binds IPv4 wildcard sockets, asking first for `firstPort` (0: the system's choice).
// A pair that lands on an odd port, or whose second port is taken, is given up and the
// next try asks for the even port above it; at most `attempts` tries. False with
// `error` filled when a socket cannot be created or no pair was found.
bool OpenRtpPortPair(RtpPortPair& pair, ReceiveSocketError& error, uint16_t firstPort = 0, int attempts = 64);
// Closes what is open and clears the pair.
void CloseRtpPortPair(RtpPortPair& pair);
