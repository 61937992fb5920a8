#include "net/RtpPortPair.h"

#include <cerrno>

#include "net/SocketErrorText.h"

namespace {

const int kAddressInUse = SocketErrorFromErrno(EADDRINUSE);

SocketHandle OpenOn(uint16_t port, bool large, ReceiveSocketError& error) {
    ReceiveSocketRequest request;
    request.address = MakeIPv4Address(0, port);
    request.largeReceiveBuffer = large;
    // The pair is ours alone: with address reuse the bind could take a port that another
    // socket holds with reuse too, and the two would split its datagrams.
    request.shareAndFilter = false;
    return OpenReceiveSocket(request, error);
}

}  // namespace

void CloseRtpPortPair(RtpPortPair& pair) {
    if (pair.rtp != kInvalidSocket) SocketClose(pair.rtp);
    if (pair.rtcp != kInvalidSocket) SocketClose(pair.rtcp);
    pair = {};
}

bool OpenRtpPortPair(RtpPortPair& pair, ReceiveSocketError& error, uint16_t firstPort, int attempts) {
    CloseRtpPortPair(pair);
    uint32_t request = firstPort;
    for (int attempt = 0; attempt < attempts && request <= 0xFFFE; ++attempt) {
        SocketHandle rtp = OpenOn(static_cast<uint16_t>(request), true, error);
        if (rtp == kInvalidSocket) {
            // A port that is taken is no reason to give up; anything else is.
            if (error.errorCode != kAddressInUse || request == 0) return false;
            request = (request + 2) & ~1u;
            continue;
        }
        NetAddress local{};
        if (SocketLocalAddress(rtp, local) != 0) {
            error = {ReceiveSocketFailure::Operation, "getsockname()", LastSocketError()};
            SocketClose(rtp);
            return false;
        }
        const uint32_t port = NetAddressPort(local);
        if (port % 2 == 0 && port < 0xFFFF) {
            ReceiveSocketError second;
            const SocketHandle rtcp = OpenOn(static_cast<uint16_t>(port + 1), false, second);
            if (rtcp != kInvalidSocket) {
                pair = {rtp, rtcp, static_cast<uint16_t>(port)};
                error = {};
                return true;
            }
            if (second.errorCode != kAddressInUse) {
                error = second;
                SocketClose(rtp);
                return false;
            }
        }
        SocketClose(rtp);
        request = (port + 3) & ~1u;
    }
    errno = EADDRINUSE;
    error = {ReceiveSocketFailure::Operation, "bind(RTP port pair)", LastSocketError()};
    return false;
}
