#pragma once
// A UPnP device as the SSDP client meets it on the network: it listens on the SSDP
// group, records every search, answers searches for its type, and announces itself.
// Only for network namespaces that a test creates.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/NetAddress.h"
#include "net/Sockets.h"
#include "net/SsdpClient.h"

class FakeSsdpDevice {
public:
    struct Heard {
        std::string text;
        NetAddress sender;
    };

    // interfaceIPv4: the address (host order) whose interface it joins and sends on.
    FakeSsdpDevice(uint32_t interfaceIPv4, std::string usn, std::string location)
        : usn_(std::move(usn)), location_(std::move(location)) {
        socket_ = SocketCreate(kNetFamilyIPv4, SOCK_DGRAM);
        const int on = 1;
        ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ok_ = SocketBind(socket_, MakeIPv4Address(0, SsdpClient::kPort)) == 0;
        ip_mreq join{};
        join.imr_multiaddr.s_addr = htonl(SsdpClient::kGroupIPv4);
        join.imr_interface.s_addr = htonl(interfaceIPv4);
        ok_ = ok_ && ::setsockopt(socket_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) == 0;
        in_addr out{};
        out.s_addr = htonl(interfaceIPv4);
        ok_ = ok_ && ::setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) == 0;
        thread_ = std::thread([this] { Listen(); });
    }
    ~FakeSsdpDevice() {
        stopping_ = true;
        ::shutdown(socket_, SHUT_RDWR);
        thread_.join();
        ::close(socket_);
    }

    bool Ok() const { return ok_; }
    void SetAnswering(bool on) { answering_ = on; }
    std::vector<Heard> Searches() const {
        std::lock_guard<std::mutex> hold(lock_);
        return searches_;
    }

    // A NOTIFY to the group with this NTS ("ssdp:alive", "ssdp:byebye" ...).
    bool Notify(const std::string& nts, const std::string& usn = "") const {
        const std::string message = "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=1800\r\n"
                                    "LOCATION: " + location_ + "\r\nNT: urn:ses-com:device:SatIPServer:1\r\nNTS: " + nts +
                                    "\r\nSERVER: Linux/1.0 UPnP/1.1 Fake/1.0\r\nUSN: " + (usn.empty() ? usn_ : usn) +
                                    "\r\n\r\n";
        return SendToGroup(message);
    }
    bool SendToGroup(const std::string& bytes) const {
        const NetAddress group = MakeIPv4Address(SsdpClient::kGroupIPv4, SsdpClient::kPort);
        return SocketSendTo(socket_, bytes.data(), static_cast<int>(bytes.size()), group) ==
               static_cast<int>(bytes.size());
    }

private:
    void Listen() {
        char buffer[2048];
        while (!stopping_) {
            NetAddress sender;
            const int length = SocketRecvFrom(socket_, buffer, sizeof buffer - 1, sender);
            if (length < 0 || stopping_) return;
            const std::string text(buffer, static_cast<size_t>(length));
            if (text.rfind("M-SEARCH * HTTP/1.1\r\n", 0) != 0) continue;
            {
                std::lock_guard<std::mutex> hold(lock_);
                searches_.push_back({text, sender});
            }
            if (!answering_ || text.find("\r\nST: urn:ses-com:device:SatIPServer:1\r\n") == std::string::npos) continue;
            const std::string answer = "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\nLOCATION: " + location_ +
                                       "\r\nSERVER: Linux/1.0 UPnP/1.1 Fake/1.0\r\n"
                                       "ST: urn:ses-com:device:SatIPServer:1\r\nUSN: " + usn_ + "\r\n\r\n";
            SocketSendTo(socket_, answer.data(), static_cast<int>(answer.size()), sender);
        }
    }

    const std::string usn_;
    const std::string location_;
    SocketHandle socket_ = kInvalidSocket;
    bool ok_ = false;
    std::atomic<bool> answering_{true};
    std::atomic<bool> stopping_{false};
    mutable std::mutex lock_;
    std::vector<Heard> searches_;
    std::thread thread_;
};

// One private namespace with a veth pair: 10.232.0.1 on "ksa", where the multicast
// route points, and nothing leaves the namespace.
#include "tests/support/NetNamespace.h"

class SsdpNamespace {
public:
    static constexpr uint32_t kAddress = 0x0AE80001;  // 10.232.0.1

    explicit SsdpNamespace(const std::string& suffix) : ns_(suffix) {
        // Without address checks the IPv6 addresses serve at once, not a second later.
        ready_ = ns_.Created() &&
                 NetNamespace::Ip("netns exec " + ns_.Name() + " sysctl -qw net.ipv6.conf.default.accept_dad=0") &&
                 ns_.In("link add ksa type veth peer name ksb") && ns_.In("link set ksa up") &&
                 ns_.In("link set ksb up") && ns_.In("addr add 10.232.0.1/24 dev ksa") &&
                 ns_.In("addr add fd04::1/64 dev ksa nodad") && ns_.In("route add 224.0.0.0/4 dev ksa") &&
                 ns_.In("-6 route add ff05::/16 dev ksa");
    }
    bool Ready() const { return ready_; }
    template <class Work>
    bool Run(Work&& work) const {
        return ns_.Run(std::forward<Work>(work));
    }

private:
    NetNamespace ns_;
    bool ready_ = false;
};
