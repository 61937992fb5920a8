#pragma once
// Stream addresses in the forms users type: "239.1.1.1:1234", "[ff15::1]:5000",
// "udp://239.1.1.1:1234", "udp://@239.1.1.1:1234", "rtp://@239.1.1.1:1234",
// "udp://[ff15::1]:5000", and with a sender before the "@" for source-specific
// reception: "udp://10.0.0.1@232.1.1.1:5000", "udp://[2001:db8::1]@[ff35::1]:5000".
#include <optional>
#include <string>
#include <string_view>

#include "net/NetAddress.h"

struct StreamAddress {
    enum class Scheme { None, Udp, Rtp };
    Scheme scheme = Scheme::None;
    NetAddress address{};  // group or unicast address, with its port (never 0)
    bool hasSource = false;
    NetAddress source{};   // the sender of source-specific reception, port 0
};

// nullopt with one line in `error` for a text of none of these forms, a missing or zero
// port, or a source with a unicast address or of the other family.
std::optional<StreamAddress> ParseStreamAddress(std::string_view text, std::string* error);

// --udp and --interface of a streaming command, resolved for the sender: the
// destination in its bare form, RTP when the scheme is rtp://, and the interface as the
// sender takes it (for IPv4 an address, for IPv6 the interface's name).
struct SendTarget {
    std::string destination;
    bool rtp = false;
    std::string interface;
};
std::optional<SendTarget> ResolveSendTarget(std::string_view udp, std::string_view interface, std::string* error);

// iptv's address, --interface and --source, resolved for the IPTV feed. The source
// comes from the address ("udp://10.0.0.1@232.1.1.1:5000") or from --source; the
// interface is an address of the group's family (family 0 when none was given).
struct ReceiveTarget {
    StreamAddress stream;
    NetAddress interface{};
};
std::optional<ReceiveTarget> ResolveReceiveTarget(std::string_view address, std::string_view interface,
                                                  std::string_view source, std::string* error);
