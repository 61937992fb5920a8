#pragma once
// The card extension interface a PCI card feed offers through GetExtension: the
// extension's presence, its two byte-wide address spaces, its switch and its reset.
#include <cstdint>

class CardExtensionAccess {
public:
    // Destroying through this interface destroys the whole feed.
    virtual ~CardExtensionAccess() = default;
    virtual bool IsPresent() = 0;
    // 0xFF when the driver writes nothing.
    virtual uint8_t ReadA(uint16_t address) = 0;
    virtual void WriteA(uint16_t address, uint8_t value) = 0;
    virtual void WriteB(uint16_t address, uint8_t value) = 0;
    virtual uint8_t ReadB(uint16_t address) = 0;
    virtual void SetSwitch(bool on) = 0;
    virtual void Reset() = 0;
};
