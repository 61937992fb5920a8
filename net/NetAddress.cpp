#include "net/NetAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>

NetAddress MakeIPv4Address(uint32_t address, uint16_t port) {
    NetAddress a;
    a.family = kNetFamilyIPv4;
    a.port = htons(port);
    const uint32_t n = htonl(address);
    std::memcpy(a.address, &n, 4);
    return a;
}

NetAddress MakeIPv6Address(const uint8_t (&address)[16], uint16_t port) {
    NetAddress a;
    a.family = kNetFamilyIPv6;
    a.port = htons(port);
    std::memcpy(a.address, address, 16);
    return a;
}

uint16_t NetAddressPort(const NetAddress& address) { return ntohs(address.port); }

void SetNetAddressPort(NetAddress& address, uint16_t port) { address.port = htons(port); }

uint32_t NetAddressIPv4(const NetAddress& address) {
    uint32_t n;
    std::memcpy(&n, address.address, 4);
    return ntohl(n);
}

bool IsMulticast(const NetAddress& address) {
    if (address.family == kNetFamilyIPv4) return address.address[0] >= 224 && address.address[0] <= 239;
    if (address.family == kNetFamilyIPv6) return address.address[0] == 0xFF;
    return false;
}

namespace {

std::string FormatIPv6(const uint8_t* bytes) {
    uint16_t groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);

    // Longest run of at least two zero groups; the first of equal runs wins.
    int runStart = -1, runLength = 1;
    for (int i = 0; i < 8;) {
        if (groups[i] != 0) { ++i; continue; }
        int j = i;
        while (j < 8 && groups[j] == 0) ++j;
        if (j - i > runLength) { runStart = i; runLength = j - i; }
        i = j;
    }

    std::string text = "[";
    char group[8];
    for (int i = 0; i < 8; ++i) {
        if (runStart >= 0 && i >= runStart && i < runStart + runLength) {
            if (i == runStart) text += ':';
            if (i == 7) text += ':';
            continue;
        }
        if (i > 0) text += ':';
        std::snprintf(group, sizeof group, "%x", groups[i]);
        text += group;
    }
    text += ']';
    return text;
}

// Whole text of decimal digits, at most 65535.
bool ParsePort(std::string_view text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseIPv6(std::string_view s, NetAddress& out) {
    uint16_t head[8], tail[8];
    int headCount = 0, tailCount = 0;
    bool gap = false;
    size_t i = 1;  // past '['
    const size_t n = s.size();

    if (s.substr(i, 2) == "::") {
        gap = true;
        i += 2;
    }
    while (i < n && s[i] != ']') {
        unsigned value = 0;
        int digits = 0;
        for (int d; i < n && (d = HexDigit(s[i])) >= 0; ++i) {
            if (++digits > 4) return false;
            value = value << 4 | static_cast<unsigned>(d);
        }
        if (digits == 0) return false;
        if (headCount + tailCount == 8) return false;
        (gap ? tail[tailCount++] : head[headCount++]) = static_cast<uint16_t>(value);
        if (i >= n || s[i] == ']') break;
        if (s[i] != ':') return false;
        ++i;
        if (i < n && s[i] == ':') {
            if (gap) return false;
            gap = true;
            ++i;
        } else if (i >= n || s[i] == ']') {
            return false;  // a group is missing after a single ':'
        }
    }
    if (i >= n || s[i] != ']') return false;
    ++i;
    if (i >= n || s[i] != ':') return false;

    // "::" stands for at least one zero group.
    if (gap ? headCount + tailCount > 7 : headCount != 8) return false;

    uint16_t port;
    if (!ParsePort(s.substr(i + 1), port)) return false;

    uint16_t groups[8] = {};
    for (int g = 0; g < headCount; ++g) groups[g] = head[g];
    for (int g = 0; g < tailCount; ++g) groups[8 - tailCount + g] = tail[g];

    NetAddress a;
    a.family = kNetFamilyIPv6;
    a.port = htons(port);
    for (int g = 0; g < 8; ++g) {
        a.address[2 * g] = static_cast<uint8_t>(groups[g] >> 8);
        a.address[2 * g + 1] = static_cast<uint8_t>(groups[g]);
    }
    out = a;
    return true;
}

bool ParseIPv4(std::string_view s, NetAddress& out) {
    constexpr size_t kMaxText = 260;
    s = s.substr(0, kMaxText);

    uint16_t port = 0;
    const size_t colon = s.find(':');
    if (colon != std::string_view::npos) {
        if (!ParsePort(s.substr(colon + 1), port)) return false;
        s = s.substr(0, colon);
    }
    // The system's dotted form, including its short and hexadecimal variants, but
    // nothing after the address: the system reader would stop at a blank and accept it.
    for (char c : s) {
        if (!(HexDigit(c) >= 0 || c == '.' || c == 'x' || c == 'X')) return false;
    }
    const std::string text(s);
    in_addr parsed{};
    if (inet_aton(text.c_str(), &parsed) == 0) return false;
    if (parsed.s_addr == INADDR_NONE) return false;

    NetAddress a;
    a.family = kNetFamilyIPv4;
    a.port = htons(port);
    std::memcpy(a.address, &parsed.s_addr, 4);
    out = a;
    return true;
}

}  // namespace

bool FormatNetAddress(const NetAddress& address, std::string& text, bool withPort) {
    char buffer[32];
    if (address.family == kNetFamilyIPv4) {
        const uint8_t* b = address.address;
        std::snprintf(buffer, sizeof buffer, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
        text = buffer;
    } else if (address.family == kNetFamilyIPv6) {
        text = FormatIPv6(address.address);
    } else {
        text.clear();
        return false;
    }
    if (withPort) {
        std::snprintf(buffer, sizeof buffer, ":%d", NetAddressPort(address));
        text += buffer;
    }
    return true;
}

bool ParseNetAddress(const char* prefix, std::string_view text, NetAddress& address) {
    if (prefix) {
        const std::string_view p(prefix);
        if (text.substr(0, p.size()) != p) return false;
        text.remove_prefix(p.size());
    }
    if (!text.empty() && text[0] == '[') return ParseIPv6(text, address);
    return ParseIPv4(text, address);
}

unsigned NetAddressToSockaddr(const NetAddress& address, sockaddr_storage& storage) {
    std::memset(&storage, 0, sizeof storage);
    if (address.family == kNetFamilyIPv4) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = address.port;
        std::memcpy(&in->sin_addr, address.address, 4);
        return sizeof(sockaddr_in);
    }
    if (address.family == kNetFamilyIPv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = address.port;
        in6->sin6_flowinfo = 0;
        std::memcpy(&in6->sin6_addr, address.address, 16);
        in6->sin6_scope_id = 0;
        return sizeof(sockaddr_in6);
    }
    return 0;
}

NetAddress NetAddressFromSockaddr(const sockaddr* address) {
    NetAddress a;
    if (!address) return a;
    if (address->sa_family == AF_INET) {
        sockaddr_in in;
        std::memcpy(&in, address, sizeof in);
        a.family = kNetFamilyIPv4;
        a.port = in.sin_port;
        std::memcpy(a.address, &in.sin_addr, 4);
    } else if (address->sa_family == AF_INET6) {
        sockaddr_in6 in6;
        std::memcpy(&in6, address, sizeof in6);
        a.family = kNetFamilyIPv6;
        a.port = in6.sin6_port;
        std::memcpy(a.address, &in6.sin6_addr, 16);
    }
    return a;
}
