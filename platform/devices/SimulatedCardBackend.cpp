#include "platform/devices/SimulatedCardBackend.h"

#include <algorithm>

#include "platform/devices/CardDeclarations.h"
#include "platform/registry/Registry.h"
#include "platform/system/ErrorCodes.h"

SimulatedCardBackend& SimulatedCardBackend::Instance() {
    static SimulatedCardBackend* backend = [] {
        auto* b = new SimulatedCardBackend;  // lives as long as the device layer
        RegisterDeviceBackend(kBackendName, b);
        return b;
    }();
    return *backend;
}

namespace {
// Cards are there as soon as the platform is loaded, as a driver would be.
const bool registered = (SimulatedCardBackend::Instance(), true);
}  // namespace

std::shared_ptr<SimulatedCard> SimulatedCardBackend::Declare(SimulatedCardDeclaration declared) {
    auto card = std::make_shared<SimulatedCard>(std::move(declared));
    std::lock_guard lock(lock_);
    std::erase_if(declared_, [&](const auto& c) { return c->Declared().name == card->Declared().name; });
    declared_.push_back(card);
    return card;
}

void SimulatedCardBackend::Remove(const std::string& name) {
    std::lock_guard lock(lock_);
    std::erase_if(declared_, [&](const auto& c) { return c->Declared().name == name; });
}

void SimulatedCardBackend::RemoveAll() {
    std::lock_guard lock(lock_);
    declared_.clear();
}

std::shared_ptr<SimulatedCard> SimulatedCardBackend::Find(const std::string& name) const {
    std::lock_guard lock(lock_);
    for (const auto* list : {&declared_, &fromFile_})
        for (const auto& card : *list)
            if (card->Declared().name == name) return card;
    return nullptr;
}

std::string SimulatedCardBackend::DeclarationProblem() const {
    std::lock_guard lock(lock_);
    return problem_;
}

std::shared_ptr<SimulatedCard> SimulatedCardBackend::FromFile(const std::string& name) {
    std::lock_guard lock(lock_);
    for (const auto& card : fromFile_)
        if (card->Declared().name == name && card->IsOpen()) return card;
    // Read afresh, so that edits apply at the next open.
    CardDeclarations declarations = ReadCardDeclarations(RegistryDirectory() + "/" + kDeclarationFile);
    problem_ = declarations.problem;
    std::erase_if(fromFile_, [&](const auto& c) { return c->Declared().name == name; });
    for (SimulatedCardDeclaration& declared : declarations.cards)
        if (declared.name == name) {
            fromFile_.push_back(std::make_shared<SimulatedCard>(std::move(declared)));
            return fromFile_.back();
        }
    return nullptr;
}

std::unique_ptr<DeviceDriver> SimulatedCardBackend::Open(const std::string& deviceName, uint32_t* error) {
    std::shared_ptr<SimulatedCard> card;
    {
        std::lock_guard lock(lock_);
        for (const auto& c : declared_)
            if (c->Declared().name == deviceName) card = c;
    }
    if (!card) card = FromFile(deviceName);
    if (!card) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return card->Open(error);
}
