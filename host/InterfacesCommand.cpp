#include <cstdio>
#include <cstring>
#include <string>

#include "host/Command.h"
#include "host/RunReport.h"
#include "net/InterfaceList.h"

namespace {

// As users type it after --interface: IPv6 without brackets.
std::string AddressText(const NetAddress& address) {
    std::string text;
    FormatNetAddress(address, text, false);
    if (text.size() > 2 && text.front() == '[') text = text.substr(1, text.size() - 2);
    return text;
}

int ListInterfaces(bool json) {
    std::vector<NetInterface> interfaces;
    int error = 0;
    if (!ListNetInterfaces(&interfaces, &error))
        return Fail(std::string("cannot read the interface list: ") + std::strerror(error));
    std::string out = json ? "[" : "";
    for (const NetInterface& item : interfaces) {
        if (json) {
            out += (&item == &interfaces.front() ? "" : ",");
            out += "{\"index\":" + std::to_string(item.index) + ",\"name\":\"" + JsonEscape(item.name) +
                   "\",\"up\":" + (item.up ? "true" : "false") + ",\"loopback\":" + (item.loopback ? "true" : "false") +
                   ",\"multicast\":" + (item.multicast ? "true" : "false") + ",\"addresses\":[";
            for (size_t k = 0; k < item.addresses.size(); ++k)
                out += (k ? ",\"" : "\"") + AddressText(item.addresses[k]) + "\"";
            out += "]}";
            continue;
        }
        std::string flags = item.up ? "up" : "down";
        if (item.loopback) flags += ",loopback";
        if (item.multicast) flags += ",multicast";
        char head[128];
        std::snprintf(head, sizeof head, "%3u  %-15s %-22s", item.index, item.name.c_str(), flags.c_str());
        out += head;
        if (item.addresses.empty()) out += " (no address)";
        for (const NetAddress& address : item.addresses) out += " " + AddressText(address);
        out += "\n";
    }
    if (json) out += "]\n";
    std::fputs(out.c_str(), stdout);
    return kExitDone;
}

class InterfacesCommand final : public Command {
    void Declare(CLI::App& cmd) override { cmd.add_flag("--json", json_, "JSON output"); }
    int Run(const GlobalOptions&) override { return ListInterfaces(json_); }
    bool json_ = false;
};

const bool registered = RegisterCommand({62, "interfaces",
                                         "List the network interfaces and their addresses, as --interface takes them",
                                         [] { return std::make_unique<InterfacesCommand>(); }});

}  // namespace
