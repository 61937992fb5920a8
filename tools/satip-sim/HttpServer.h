#pragma once
// The HTTP side: the device description and streams requested as "GET /?src=1&...".
#include <netinet/in.h>

#include <mutex>
#include <string>

#include "tools/satip-sim/Messages.h"
#include "tools/satip-sim/SimState.h"
#include "tools/satip-sim/Tcp.h"

inline constexpr char kDescriptionPath[] = "/desc.xml";

class HttpServer {
public:
    HttpServer(SimState& state, Frontends& frontends, const DeviceIdentity& device, bool chunked);
    bool Start(uint16_t port, std::string* error);
    uint16_t Port() const { return tcp_.Port(); }
    // After state.stopping is set.
    void Stop() { tcp_.Stop(); }
    // The identity's URLs are known only once the port is.
    void SetDevice(const DeviceIdentity& device) {
        std::lock_guard lock(deviceMutex_);
        device_ = device;
    }

private:
    void Serve(int socket, const sockaddr_in& peer);

    SimState& state_;
    Frontends& frontends_;
    std::mutex deviceMutex_;
    DeviceIdentity device_;
    bool chunked_;
    TcpServer tcp_;
};
