#pragma once
// The one way to open a socket that receives UDP: a local unicast address, or a
// multicast group (any-source or source-specific), IPv4 or IPv6.
#include <string>

#include "net/NetAddress.h"
#include "net/Sockets.h"

struct ReceiveSocketRequest {
    // A multicast group, or an address of this computer, with the port.
    NetAddress address;
    // The interface that joins a group: its address (IPv4, or an IPv6 address held by
    // an interface here). No family or the zero address lets the system choose.
    NetAddress interfaceAddress;
    // Takes precedence over interfaceAddress when not 0.
    unsigned interfaceIndex = 0;
    // Source-specific reception of a group from this sender (same family as the group).
    bool sourceSpecific = false;
    NetAddress source;

    int protocol = 0;  // 0 or IPPROTO_UDP
    // A large receive buffer (as much as the system grants when it refuses the size).
    bool largeReceiveBuffer = true;
    // Address reuse and, for a group, only the groups joined on this socket. A
    // socket that skips this shares its port with nobody and hears every group the
    // host joined on it.
    bool shareAndFilter = true;
    // A failed reuse option fails the open (otherwise it is ignored).
    bool reuseRequired = false;
    // Refuse an IPv4 unicast address that is not an address of this computer.
    bool requireLocalUnicast = false;
};

enum class ReceiveSocketFailure {
    None,
    NotLocalUnicast,  // the unicast address belongs to another computer
    Operation,        // a system call failed: operation and errorCode tell which
    SourceFamily,     // the source is not of the group's family
    NoSuchInterface,  // no interface here holds the IPv6 interface address
};

struct ReceiveSocketError {
    ReceiveSocketFailure failure = ReceiveSocketFailure::None;
    // The failed call as the user reads it: "socket()", "setsockopt(SO_RCVBUF)",
    // "bind(192.0.2.1:1234)\r\n", "setsockopt(IP_ADD_MEMBERSHIP)" ...
    std::string operation;
    int errorCode = 0;  // LastSocketError() of that call
};

constexpr int kReceiveSocketBufferBytes = 0x1000000;

// Creates, configures, binds and (for a group) joins. A group binds the wildcard
// address with the group's port: a socket bound to an interface address never sees
// multicast here. Returns the socket, or kInvalidSocket with the error filled in and
// nothing left open.
SocketHandle OpenReceiveSocket(const ReceiveSocketRequest& request, ReceiveSocketError& error);

// True for 127.0.0.1 and every IPv4 address of this computer's interfaces.
bool IsLocalIPv4Address(uint32_t address);
