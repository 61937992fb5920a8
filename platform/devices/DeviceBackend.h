#pragma once
// What stands behind a device path: a backend, registered by name, that opens the
// devices it serves; each open gives a driver instance that answers device requests.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/PlainTypes.h"

// One device request in flight. The driver writes the output while the request is
// pending and calls Complete exactly once; after that it must not touch the output.
class IoRequest {
public:
    using Completion = std::function<void(uint32_t error, DWORD bytes)>;
    IoRequest(DWORD code, const void* input, DWORD inputLength, void* output, DWORD outputLength, Completion done);

    DWORD Code() const { return code_; }
    // The function number of a code built as (device type << 16) | (function << 2).
    DWORD Function() const { return (code_ >> 2) & 0xFFF; }
    DWORD DeviceType() const { return code_ >> 16; }
    const std::vector<uint8_t>& Input() const { return input_; }
    uint8_t* Output() const { return output_; }
    DWORD OutputLength() const { return outputLength_; }
    // error 0: success with `bytes` returned.
    void Complete(uint32_t error, DWORD bytes);

private:
    const DWORD code_;
    const std::vector<uint8_t> input_;  // copied: the caller may reuse its buffer at once
    uint8_t* const output_;
    const DWORD outputLength_;
    Completion done_;
};

// One open handle's view of a device.
class DeviceDriver {
public:
    virtual ~DeviceDriver() = default;
    // Completes the request before returning, or keeps it pending and completes it
    // later from any thread.
    virtual void Submit(std::shared_ptr<IoRequest> request) = 0;
    // The handle is being closed: complete every pending request (aborted) before
    // returning, and let the device be opened again.
    virtual void Close() = 0;
};

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    // The driver for the device name (the path without "\\.\"), or null with *error set
    // (ERROR_FILE_NOT_FOUND when this backend does not serve the name).
    virtual std::unique_ptr<DeviceDriver> Open(const std::string& deviceName, uint32_t* error) = 0;
};

// Backends are asked in the order of registration; registering a name again replaces
// that backend. The backend must outlive its registration.
void RegisterDeviceBackend(const std::string& name, DeviceBackend* backend);
void UnregisterDeviceBackend(const std::string& name);
