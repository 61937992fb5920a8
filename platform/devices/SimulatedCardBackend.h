#pragma once
// The backend of simulated DVB cards: the cards that tests declare in code, and those a
// person declares in "cards.conf" in the settings directory (beside the .reg files).
// Without a declaration there is no card, as on a machine without the card driver.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devices/DeviceBackend.h"
#include "platform/devices/SimulatedCard.h"

class SimulatedCardBackend final : public DeviceBackend {
public:
    static constexpr const char* kBackendName = "simulated-dvb-card";
    static constexpr const char* kDeclarationFile = "cards.conf";

    // Registered with the device layer on first use.
    static SimulatedCardBackend& Instance();

    // Replaces a card of the same name; the card stays declared until removed.
    std::shared_ptr<SimulatedCard> Declare(SimulatedCardDeclaration declared);
    void Remove(const std::string& name);
    void RemoveAll();
    // A declared card, from code or (once opened) from the file.
    std::shared_ptr<SimulatedCard> Find(const std::string& name) const;
    // The first problem of the last reading of the file, "" when there was none.
    std::string DeclarationProblem() const;

    std::unique_ptr<DeviceDriver> Open(const std::string& deviceName, uint32_t* error) override;

private:
    SimulatedCardBackend() = default;
    // The file's card of that name, kept while it is open so that a second open finds it busy.
    std::shared_ptr<SimulatedCard> FromFile(const std::string& name);

    mutable std::mutex lock_;
    std::vector<std::shared_ptr<SimulatedCard>> declared_;
    std::vector<std::shared_ptr<SimulatedCard>> fromFile_;
    std::string problem_;
};
