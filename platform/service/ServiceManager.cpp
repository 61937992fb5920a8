#include "platform/service/ServiceManager.h"

#include "platform/registry/Registry.h"

#include <chrono>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* kServicesFile = "services";

uint64_t NowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

bool ParseState(const std::string& word, ServiceState& state) {
    if (word == "running") state = ServiceState::Running;
    else if (word == "stopped") state = ServiceState::Stopped;
    else if (word == "stop-pending") state = ServiceState::StopPending;
    else return false;
    return true;
}

bool ParseMs(std::istringstream& in, uint32_t& value) {
    long long number = -1;
    if (!(in >> number) || number < 0 || number > 600000) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

}  // namespace

ServiceManager& ServiceManager::Instance() {
    static ServiceManager manager;
    return manager;
}

ServiceManager::ServiceManager() { Reload(); }

void ServiceManager::Reload() {
    {
        std::lock_guard guard(lock_);
        services_.clear();
    }
    const std::string dir = RegistryDirectory();
    if (dir.empty()) return;
    std::ifstream file(dir + "/" + kServicesFile);
    if (!file) return;
    std::stringstream text;
    text << file.rdbuf();
    ParseDeclarations(text.str());
}

size_t ServiceManager::ParseDeclarations(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    size_t taken = 0;
    while (std::getline(lines, line)) {
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream in(line);
        std::string name, stateWord;
        if (!(in >> name)) continue;
        ServiceDeclaration declaration;
        if (!(in >> stateWord) || !ParseState(stateWord, declaration.state)) continue;
        bool valid = true;
        for (std::string word; valid && in >> word;) {
            if (word == "stop-ms") valid = ParseMs(in, declaration.stopMs);
            else if (word == "wait-hint-ms") valid = ParseMs(in, declaration.waitHintMs);
            else if (word == "refuse-stop") declaration.refuseStop = true;
            else valid = false;
        }
        if (!valid) continue;
        Declare(name, declaration);
        ++taken;
    }
    return taken;
}

void ServiceManager::Declare(const std::string& name, const ServiceDeclaration& declaration) {
    std::lock_guard guard(lock_);
    Entry entry;
    entry.declaration = declaration;
    if (declaration.state == ServiceState::StopPending) {
        entry.stopping = true;
        entry.stopAtMs = NowMs() + declaration.stopMs;
    }
    services_[name] = entry;
}

void ServiceManager::Settle(Entry& entry) const {
    if (entry.stopping && NowMs() >= entry.stopAtMs) {
        entry.stopping = false;
        entry.declaration.state = ServiceState::Stopped;
    }
}

bool ServiceManager::Query(const std::string& name, ServiceStatus& status) {
    std::lock_guard guard(lock_);
    const auto found = services_.find(name);
    if (found == services_.end()) return false;
    Settle(found->second);
    status.state = found->second.declaration.state;
    status.waitHintMs = found->second.declaration.waitHintMs;
    return true;
}

bool ServiceManager::ControlStop(const std::string& name) {
    std::lock_guard guard(lock_);
    const auto found = services_.find(name);
    if (found == services_.end()) return false;
    Entry& entry = found->second;
    Settle(entry);
    if (entry.declaration.refuseStop) return false;
    if (entry.declaration.state != ServiceState::Running) return true;
    if (entry.declaration.stopMs == 0) {
        entry.declaration.state = ServiceState::Stopped;
    } else {
        entry.declaration.state = ServiceState::StopPending;
        entry.stopping = true;
        entry.stopAtMs = NowMs() + entry.declaration.stopMs;
    }
    return true;
}
