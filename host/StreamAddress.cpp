#include "host/StreamAddress.h"

#include <cctype>

#include "net/InterfaceList.h"

namespace {

constexpr const char* kForms = "239.1.2.3:5000, udp://@239.1.2.3:5000, rtp://@239.1.2.3:5000 or udp://[ff15::1]:5000";

// "10.0.0.1", "[2001:db8::1]" or "2001:db8::1": an address without a port.
std::optional<NetAddress> ParseSource(std::string_view text) {
    NetAddress address{};
    if (text.find(':') == std::string_view::npos) {
        if (ParseNetAddress(nullptr, text, address)) return address;
        return std::nullopt;
    }
    const std::string bracketed = text.front() == '[' ? std::string(text) : "[" + std::string(text) + "]";
    if (ParseNetAddress(nullptr, bracketed + ":0", address)) return address;
    return std::nullopt;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::optional<StreamAddress> ParseStreamAddress(std::string_view text, std::string* error) {
    const std::string quoted = "\"" + std::string(text) + "\"";
    auto fail = [&](const std::string& why) -> std::optional<StreamAddress> {
        if (error) *error = why;
        return std::nullopt;
    };
    StreamAddress result;
    std::string_view rest = text;
    if (const size_t colon = rest.find("://"); colon != std::string_view::npos) {
        const std::string scheme = Lower(rest.substr(0, colon));
        if (scheme == "udp")
            result.scheme = StreamAddress::Scheme::Udp;
        else if (scheme == "rtp")
            result.scheme = StreamAddress::Scheme::Rtp;
        else
            return fail("not a stream address: " + quoted + " (the scheme is udp:// or rtp://)");
        rest.remove_prefix(colon + 3);
        // "@" marks the receiving side; what stands before it is the one sender to take.
        if (const size_t at = rest.find('@'); at != std::string_view::npos) {
            const std::string_view source = rest.substr(0, at);
            rest.remove_prefix(at + 1);
            if (!source.empty()) {
                const auto parsed = ParseSource(source);
                if (!parsed) return fail("not a source address: \"" + std::string(source) + "\" in " + quoted);
                result.hasSource = true;
                result.source = *parsed;
            }
        }
    }
    if (!ParseNetAddress(nullptr, rest, result.address))
        return fail("not a stream address: " + quoted + " (use " + kForms + ")");
    if (NetAddressPort(result.address) == 0)
        return fail("not an address with a port: " + quoted + " (use 239.1.2.3:5000 or [ff15::1]:5000)");
    if (result.hasSource) {
        if (!IsMulticast(result.address))
            return fail("a source before \"@\" needs a multicast group after it: " + quoted);
        if (result.source.family != result.address.family)
            return fail("the source and the group must both be IPv4 or both IPv6: " + quoted);
    }
    return result;
}

std::optional<SendTarget> ResolveSendTarget(std::string_view udp, std::string_view interface, std::string* error) {
    auto parsed = ParseStreamAddress(udp, error);
    if (!parsed) return std::nullopt;
    if (parsed->hasSource) {
        if (error) *error = "a source before \"@\" is for receiving (iptv), not for --udp: \"" + std::string(udp) + "\"";
        return std::nullopt;
    }
    SendTarget target;
    FormatNetAddress(parsed->address, target.destination, true);
    target.rtp = parsed->scheme == StreamAddress::Scheme::Rtp;
    if (!interface.empty()) {
        const auto choice = ResolveInterface(interface, parsed->address.family, error);
        if (!choice) return std::nullopt;
        if (parsed->address.family == kNetFamilyIPv4)
            FormatNetAddress(choice->address, target.interface, false);
        else
            target.interface = choice->name;
    }
    return target;
}

std::optional<ReceiveTarget> ResolveReceiveTarget(std::string_view address, std::string_view interface,
                                                  std::string_view source, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<ReceiveTarget> {
        if (error) *error = why;
        return std::nullopt;
    };
    ReceiveTarget target;
    auto parsed = ParseStreamAddress(address, error);
    if (!parsed) return std::nullopt;
    target.stream = *parsed;
    StreamAddress& stream = target.stream;
    if (!source.empty()) {
        if (stream.hasSource) return fail("the source is given twice: before \"@\" and with --source");
        const auto sender = ParseSource(source);
        if (!sender) return fail("not a source address: \"" + std::string(source) + "\"");
        if (!IsMulticast(stream.address)) return fail("--source needs a multicast group address");
        if (sender->family != stream.address.family)
            return fail("the source and the group must both be IPv4 or both IPv6");
        stream.hasSource = true;
        stream.source = *sender;
    }
    if (!interface.empty()) {
        const auto choice = ResolveInterface(interface, stream.address.family, error);
        if (!choice) return std::nullopt;
        if (choice->address.family == 0)
            return fail("interface \"" + choice->name + "\" has no IPv6 address to receive on");
        target.interface = choice->address;
    }
    return target;
}
