#include "feeds/iptv/AdapterList.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>

namespace {

constexpr unsigned short kHardwareIp6Gre = 823;  // not named by this C library

// Encapsulating links: what the desktop lists as tunnel interfaces.
bool IsTunnelType(unsigned short hardwareType) {
    switch (hardwareType) {
        case ARPHRD_TUNNEL:
        case ARPHRD_TUNNEL6:
        case ARPHRD_SIT:
        case ARPHRD_IPGRE:
        case kHardwareIp6Gre:
        case ARPHRD_NONE:  // tun devices and other links without a hardware header
            return true;
        default:
            return false;
    }
}

}  // namespace

bool CAdapterList::Read(int* error) {
    adapters_.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        if (error) *error = errno;
        return false;
    }
    std::set<std::string> excluded;
    std::map<unsigned, NetworkAdapter> byIndex;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_name || !entry->ifa_addr) continue;
        const std::string name = entry->ifa_name;
        if (entry->ifa_flags & IFF_LOOPBACK) excluded.insert(name);
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        const unsigned index = ::if_nametoindex(entry->ifa_name);
        if (index == 0) continue;
        NetworkAdapter& adapter = byIndex[index];
        adapter.name = name;
        adapter.index = index;
        NetAddress& first = family == AF_INET ? adapter.ipv4 : adapter.ipv6;
        if (first.family == 0) {
            first = NetAddressFromSockaddr(entry->ifa_addr);
            first.port = 0;
        }
    }
    ::freeifaddrs(list);
    // Links without a hardware address have no link-layer entry in the list; their
    // type is asked for by name.
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    for (auto& [index, adapter] : byIndex) {
        if (excluded.count(adapter.name)) continue;
        if (probe >= 0) {
            ifreq request{};
            std::strncpy(request.ifr_name, adapter.name.c_str(), IFNAMSIZ - 1);
            if (::ioctl(probe, SIOCGIFHWADDR, &request) == 0 && IsTunnelType(request.ifr_hwaddr.sa_family)) continue;
        }
        adapters_.push_back(std::move(adapter));
    }
    if (probe >= 0) ::close(probe);
    return true;
}
