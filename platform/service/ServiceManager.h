#pragma once
// The system's services as the network feeds ask about them. No service of this
// platform holds the SSDP port, so the manager knows only the services that a test
// declares, or that a person lists in the file "services" of the settings directory:
//
//     # name      state     [stop-ms N] [wait-hint-ms N] [refuse-stop]
//     upnphost    running   stop-ms 300
//     SSDPSRV     running   refuse-stop
//
// States: stopped, running, stop-pending. A running service that is asked to stop
// reports stop-pending for stop-ms milliseconds (0: stopped at once), then stopped.
// Stopping a declared service changes only this process's view, never the file.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

enum class ServiceState { Stopped, StopPending, Running };

struct ServiceStatus {
    ServiceState state = ServiceState::Stopped;
    uint32_t waitHintMs = 0;
};

struct ServiceDeclaration {
    ServiceState state = ServiceState::Running;
    uint32_t stopMs = 0;
    uint32_t waitHintMs = 2000;
    bool refuseStop = false;
};

class ServiceManager {
public:
    // The process's manager; the file is read on first use.
    static ServiceManager& Instance();

    // False when no such service exists.
    bool Query(const std::string& name, ServiceStatus& status);
    // Sends the stop control; false when the service is missing or refuses it.
    bool ControlStop(const std::string& name);

    void Declare(const std::string& name, const ServiceDeclaration& declaration);
    // Forgets every declared service and reads the file again.
    void Reload();

    // Reads declarations from text in the file's format; lines that do not parse are
    // skipped. Returns the number of services taken.
    size_t ParseDeclarations(const std::string& text);

private:
    ServiceManager();
    struct Entry {
        ServiceDeclaration declaration;
        bool stopping = false;
        uint64_t stopAtMs = 0;  // steady clock, when stopping
    };
    void Settle(Entry& entry) const;

    std::mutex lock_;
    std::map<std::string, Entry> services_;
};
