#pragma once
// A socket that sends UDP datagrams to one destination, unicast or multicast.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/NetAddress.h"
#include "net/Sockets.h"

struct SendSocketRequest {
    NetAddress destination;  // with its port
    // Multicast only: hops a datagram may travel (1 keeps it on the local link), and
    // the interface it leaves by, as a name or an index (either family) or an IPv4
    // address; none of them: the system's choice.
    int ttl = 1;
    std::string interfaceName;
    unsigned interfaceIndex = 0;
    NetAddress interfaceAddress;
};

struct SendSocketError {
    // "socket()", "if_nametoindex()", "setsockopt(IP_MULTICAST_TTL)" ...
    const char* operation = nullptr;
    int systemError = 0;  // errno of that call, for strerror
};

class UdpSendSocket {
public:
    UdpSendSocket() = default;
    ~UdpSendSocket() { Close(); }
    UdpSendSocket(const UdpSendSocket&) = delete;
    UdpSendSocket& operator=(const UdpSendSocket&) = delete;

    bool Open(const SendSocketRequest& request, SendSocketError& error);
    // One datagram. A full send buffer is waited out rather than the datagram lost; a
    // peer that has gone gives an error, never a signal. Returns 0 or the errno.
    int Send(const uint8_t* data, size_t length);
    void Close();
    bool IsOpen() const { return socket_ != kInvalidSocket; }
    SocketHandle Handle() const { return socket_; }

private:
    SocketHandle socket_ = kInvalidSocket;
    NetAddress destination_;
};
