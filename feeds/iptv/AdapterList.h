#pragma once
// The network adapters a multicast group can be joined on, from this computer's
// interface list: every interface that is neither loopback nor a tunnel and has at
// least one unicast address, in interface-index order.
#include <string>
#include <vector>

#include "net/NetAddress.h"

struct NetworkAdapter {
    std::string name;
    unsigned index = 0;
    NetAddress ipv4;  // the first of each family; family 0 when the adapter has none
    NetAddress ipv6;
};

class CAdapterList {
public:
    // False, with the system's error number, when the interface list cannot be read.
    bool Read(int* error);
    const std::vector<NetworkAdapter>& Adapters() const { return adapters_; }

private:
    std::vector<NetworkAdapter> adapters_;
};
