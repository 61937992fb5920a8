#pragma once
// The server simulator in a network namespace of the test's own, with an interface
// that carries SSDP and multicast there and nowhere else.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/sim/PacedStream.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/ProgramTestDir.h"
#include "tests/support/SatipSimProcess.h"
#include "tests/support/WaitUntil.h"

namespace satip_feed_test {

using namespace std::chrono_literals;

constexpr const char* kServerAddress = "10.231.0.1";

class SimNamespace {
public:
    explicit SimNamespace(const std::string& suffix) : ns_(suffix) {
        ready_ = ns_.Created() && ns_.In("link add ksf type veth peer name ksg") && ns_.In("link set ksf up") &&
                 ns_.In("link set ksg up") && ns_.In(std::string("addr add ") + kServerAddress + "/24 dev ksf") &&
                 ns_.In("route add 224.0.0.0/4 dev ksf");
    }
    bool Ready() const { return ready_; }
    const NetNamespace& Ns() const { return ns_; }
    const std::string& Name() const { return ns_.Name(); }

private:
    NetNamespace ns_;
    bool ready_ = false;
};

// satip-sim on its standard ports (554, 80) in the namespace.
class Sim : public SatipSimProcess {
public:
    Sim(const SimNamespace& ns, const std::string& dir, const std::string& args)
        : SatipSimProcess(dir, std::string("--interface ksf --address ") + kServerAddress + " " + args, ns.Name()),
          ns_(ns) {}

    // One command on the control port; the answer line.
    std::string Control(const std::string& command) {
        const int port = Port("control");
        std::string answer;
        ns_.Ns().Run([&] {
            const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(static_cast<uint16_t>(port));
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
                const std::string line = command + "\n";
                [[maybe_unused]] ssize_t sent = write(s, line.data(), line.size());
                char buffer[256];
                const ssize_t n = read(s, buffer, sizeof buffer);
                if (n > 0) answer.assign(buffer, static_cast<size_t>(n));
            }
            close(s);
        });
        return answer;
    }

private:
    const SimNamespace& ns_;
};

// What the simulator sends for all PIDs, from the start of a session.
inline std::vector<uint8_t> SimReference(size_t bytes) { return PacedStream::Reference(PacedStreamSource{}, bytes); }

}  // namespace satip_feed_test
