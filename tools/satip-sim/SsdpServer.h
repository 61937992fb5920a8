#pragma once
// Announcing the device by SSDP on chosen interfaces and answering searches.
#include <netinet/in.h>

#include <string>
#include <thread>
#include <vector>

#include "tools/satip-sim/Messages.h"
#include "tools/satip-sim/SimState.h"

inline constexpr char kSsdpGroup[] = "239.255.255.250";
inline constexpr uint16_t kSsdpPort = 1900;

class SsdpServer {
public:
    SsdpServer(SimState& state, const DeviceIdentity& device, const std::vector<in_addr>& interfaces,
               unsigned notifyIntervalSeconds);
    ~SsdpServer();
    bool Start(std::string* error);
    // After state.stopping is set. byebye: announce the leave (a clean exit does).
    void Stop(bool byebye);

private:
    void Run();
    void Announce(bool alive);

    SimState& state_;
    DeviceIdentity device_;
    std::vector<in_addr> interfaces_;
    unsigned interval_;
    int receiver_ = -1;
    std::vector<int> senders_;  // one per interface
    std::thread thread_;
};
