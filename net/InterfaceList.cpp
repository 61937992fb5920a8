#include "net/InterfaceList.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace {

const char* FamilyName(uint16_t family) { return family == kNetFamilyIPv6 ? "IPv6" : "IPv4"; }

// The address forms a user types for an interface, without a port; nullopt for text
// that is no address (then it is taken as a name).
std::optional<NetAddress> ParseBareAddress(std::string_view text) {
    std::string s(text);
    if (s.size() > 2 && s.front() == '[' && s.back() == ']') s = s.substr(1, s.size() - 2);
    in_addr v4{};
    if (inet_pton(AF_INET, s.c_str(), &v4) == 1) return MakeIPv4Address(ntohl(v4.s_addr), 0);
    uint8_t v6[16];
    if (inet_pton(AF_INET6, s.c_str(), v6) == 1) return MakeIPv6Address(v6, 0);
    return std::nullopt;
}

// Labelled IPv4 addresses come listed under "eth0:1"; they belong to "eth0".
std::string BaseName(const char* name) {
    std::string s(name);
    return s.substr(0, s.find(':'));
}

}  // namespace

bool ListNetInterfaces(std::vector<NetInterface>* interfaces, int* error) {
    interfaces->clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        if (error) *error = errno;
        return false;
    }
    std::map<unsigned, NetInterface> byIndex;
    std::map<unsigned, std::vector<NetAddress>> ipv6;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_name) continue;
        const std::string name = BaseName(entry->ifa_name);
        const unsigned index = ::if_nametoindex(name.c_str());
        if (index == 0) continue;
        NetInterface& item = byIndex[index];
        item.name = name;
        item.index = index;
        item.up |= (entry->ifa_flags & IFF_UP) != 0;
        item.loopback |= (entry->ifa_flags & IFF_LOOPBACK) != 0;
        item.multicast |= (entry->ifa_flags & IFF_MULTICAST) != 0;
        if (!entry->ifa_addr) continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        NetAddress address = NetAddressFromSockaddr(entry->ifa_addr);
        address.port = 0;
        (family == AF_INET ? item.addresses : ipv6[index]).push_back(address);
    }
    ::freeifaddrs(list);
    for (auto& [index, item] : byIndex) {
        const auto& more = ipv6[index];
        item.addresses.insert(item.addresses.end(), more.begin(), more.end());
        interfaces->push_back(std::move(item));
    }
    return true;
}

std::optional<InterfaceChoice> ResolveInterface(std::string_view text, uint16_t family, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<InterfaceChoice> {
        if (error) *error = why;
        return std::nullopt;
    };
    const std::string quoted = "\"" + std::string(text) + "\"";
    if (text.empty()) return fail("no interface given (a name such as eth0, or one of its addresses)");
    std::vector<NetInterface> interfaces;
    int listError = 0;
    if (!ListNetInterfaces(&interfaces, &listError))
        return fail(std::string("cannot read the interface list: ") + std::strerror(listError));

    if (const auto address = ParseBareAddress(text)) {
        if (address->family != family)
            return fail(quoted + " is an " + FamilyName(address->family) + " address, but the stream is " +
                        FamilyName(family) + ": give an " + FamilyName(family) + " address or an interface name");
        for (const NetInterface& item : interfaces) {
            if (std::find(item.addresses.begin(), item.addresses.end(), *address) != item.addresses.end())
                return InterfaceChoice{item.name, item.index, *address};
        }
        return fail(quoted + " is not an address of this computer (see kestrel interfaces)");
    }

    const auto named = std::find_if(interfaces.begin(), interfaces.end(),
                                    [&](const NetInterface& item) { return item.name == text; });
    if (named == interfaces.end()) return fail("no interface is named " + quoted + " (see kestrel interfaces)");
    InterfaceChoice choice{named->name, named->index, {}};
    const auto first = std::find_if(named->addresses.begin(), named->addresses.end(),
                                    [&](const NetAddress& a) { return a.family == family; });
    if (first != named->addresses.end()) choice.address = *first;
    // IPv4 traffic is steered by the interface's address; IPv6 by its index alone.
    if (family == kNetFamilyIPv4 && choice.address.family == 0)
        return fail("interface " + quoted + " has no IPv4 address");
    return choice;
}
