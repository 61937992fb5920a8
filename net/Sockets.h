#pragma once
// Socket calls in terms of NetAddress. Each returns what the system call returned
// (-1 on failure); LastSocketError() right after a failure gives the socket error
// code. Levels and options of SocketSetOption are this platform's own
// (SOL_SOCKET, IPPROTO_IP, IP_ADD_MEMBERSHIP ... from <sys/socket.h>, <netinet/in.h>).
#include "net/NetAddress.h"

#include <cstdint>
#include <vector>

struct ifaddrs;

using SocketHandle = int;
constexpr SocketHandle kInvalidSocket = -1;

// family is kNetFamilyIPv4 or kNetFamilyIPv6; type SOCK_DGRAM or SOCK_STREAM.
SocketHandle SocketCreate(int family, int type, int protocol = 0);
int SocketBind(SocketHandle socket, const NetAddress& address);
int SocketConnect(SocketHandle socket, const NetAddress& address);
int SocketSend(SocketHandle socket, const void* data, int length);
int SocketSendTo(SocketHandle socket, const void* data, int length, const NetAddress& to);
int SocketRecv(SocketHandle socket, void* buffer, int capacity);
// sender is written only when the result is not negative.
int SocketRecvFrom(SocketHandle socket, void* buffer, int capacity, NetAddress& sender);
int SocketListen(SocketHandle socket, int backlog);
SocketHandle SocketAccept(SocketHandle socket, NetAddress& peer);
// Ends the sending direction only; the peer reads end of stream.
int SocketShutdownSend(SocketHandle socket);
// Also wakes any thread blocked on the socket, which then sees end of stream or an
// error, as closing does on the other platform.
int SocketClose(SocketHandle socket);
int SocketLocalAddress(SocketHandle socket, NetAddress& address);
int SocketSetOption(SocketHandle socket, int level, int option, const void* value, int length);

// Sets a socket option. An IPv4 group join (IPPROTO_IP, IP_ADD_MEMBERSHIP, an 8-byte
// ip_mreq) that fails because no interface reaches the group while the request names
// no interface is retried once on FirstActiveIPv4Address(), which is written back
// into the request.
int JoinGroupWithFallback(SocketHandle socket, int level, int option, void* value, int length);

// The IPv4 address (host byte order) of the first interface that is up and running,
// is not a loopback and has an IPv4 address as its first address; 0 when there is
// none or the interface list cannot be read.
uint32_t FirstActiveIPv4Address();
// The same over a given interface list.
uint32_t FirstActiveIPv4AddressIn(const ifaddrs* list);

// Every IPv4 address of this computer, as {IPv4, port 0, address}; false when the
// interface list cannot be read.
bool LocalIPv4AddressList(std::vector<NetAddress>& addresses);
