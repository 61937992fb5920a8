#include "platform/devices/DeviceIo.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/devices/DeviceBackend.h"
#include "platform/system/ErrorCodes.h"
#include "platform/system/ErrorText.h"
#include "platform/system/Event.h"
#include "platform/system/Tick.h"

namespace {

constexpr const char* kDevicePrefix = "\\\\.\\";

struct OpenDevice {
    std::unique_ptr<DeviceDriver> driver;
    bool overlapped;
};

using Object = std::variant<std::shared_ptr<Event>, std::shared_ptr<OpenDevice>>;

struct Registry {
    std::mutex lock;
    std::vector<std::pair<std::string, DeviceBackend*>> backends;
    std::map<uintptr_t, Object> handles;
    uintptr_t next = 0x100;
};

Registry& Objects() {
    static Registry* registry = new Registry;  // outlives every static that closes handles
    return *registry;
}

HANDLE Insert(Object object) {
    Registry& r = Objects();
    std::lock_guard lock(r.lock);
    const uintptr_t h = r.next;
    r.next += 4;
    r.handles.emplace(h, std::move(object));
    return reinterpret_cast<HANDLE>(h);
}

template <typename T>
std::shared_ptr<T> Lookup(HANDLE handle) {
    Registry& r = Objects();
    std::lock_guard lock(r.lock);
    const auto it = r.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == r.handles.end()) return nullptr;
    if (auto* object = std::get_if<std::shared_ptr<T>>(&it->second)) return *object;
    return nullptr;
}

BOOL Fail(uint32_t error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

IoRequest::IoRequest(DWORD code, const void* input, DWORD inputLength, void* output, DWORD outputLength,
                     Completion done)
    : code_(code),
      input_(static_cast<const uint8_t*>(input), static_cast<const uint8_t*>(input) + (input ? inputLength : 0)),
      output_(static_cast<uint8_t*>(output)),
      outputLength_(output ? outputLength : 0),
      done_(std::move(done)) {}

void IoRequest::Complete(uint32_t error, DWORD bytes) {
    if (!done_) return;
    Completion done = std::move(done_);
    done_ = nullptr;
    done(error, error == 0 ? bytes : 0);
}

void RegisterDeviceBackend(const std::string& name, DeviceBackend* backend) {
    Registry& r = Objects();
    std::lock_guard lock(r.lock);
    for (auto& entry : r.backends)
        if (entry.first == name) {
            entry.second = backend;
            return;
        }
    r.backends.emplace_back(name, backend);
}

void UnregisterDeviceBackend(const std::string& name) {
    Registry& r = Objects();
    std::lock_guard lock(r.lock);
    std::erase_if(r.backends, [&](const auto& entry) { return entry.first == name; });
}

HANDLE CreateFileA(const char* path, DWORD /*access*/, DWORD /*shareMode*/, void* /*security*/, DWORD disposition,
                   DWORD flags, HANDLE /*templateFile*/) {
    const size_t prefix = std::strlen(kDevicePrefix);
    if (!path || std::strncmp(path, kDevicePrefix, prefix) != 0 || !path[prefix] || disposition != OPEN_EXISTING) {
        SetLastError(path ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string name = path + prefix;
    std::vector<DeviceBackend*> backends;
    {
        Registry& r = Objects();
        std::lock_guard lock(r.lock);
        for (const auto& entry : r.backends) backends.push_back(entry.second);
    }
    uint32_t error = ERROR_FILE_NOT_FOUND;
    for (DeviceBackend* backend : backends) {
        uint32_t refused = ERROR_FILE_NOT_FOUND;
        if (std::unique_ptr<DeviceDriver> driver = backend->Open(name, &refused)) {
            auto device = std::make_shared<OpenDevice>(OpenDevice{std::move(driver), (flags & FILE_FLAG_OVERLAPPED) != 0});
            SetLastError(ERROR_SUCCESS);
            return Insert(std::move(device));
        }
        // A backend that knows the device says why it would not open.
        if (refused != ERROR_FILE_NOT_FOUND) {
            error = refused;
            break;
        }
    }
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, const void* input, DWORD inputLength, void* output,
                     DWORD outputLength, DWORD* bytesReturned, OVERLAPPED* overlapped) {
    const std::shared_ptr<OpenDevice> open = Lookup<OpenDevice>(device);
    if (!open) return Fail(ERROR_INVALID_HANDLE);
    if (bytesReturned) *bytesReturned = 0;

    if (overlapped && open->overlapped) {
        std::shared_ptr<Event> event = Lookup<Event>(overlapped->hEvent);
        if (event) event->Reset();
        overlapped->InternalHigh.store(0, std::memory_order_relaxed);
        overlapped->Internal.store(STATUS_PENDING, std::memory_order_release);
        auto done = [overlapped, event](uint32_t error, DWORD bytes) {
            overlapped->InternalHigh.store(bytes, std::memory_order_relaxed);
            overlapped->Internal.store(error, std::memory_order_release);
            if (event) event->Set();
        };
        open->driver->Submit(std::make_shared<IoRequest>(code, input, inputLength, output, outputLength, done));
        const ULONG_PTR status = overlapped->Internal.load(std::memory_order_acquire);
        if (status == STATUS_PENDING) return Fail(ERROR_IO_PENDING);
        if (status != 0) return Fail(static_cast<uint32_t>(status));
        if (bytesReturned) *bytesReturned = static_cast<DWORD>(overlapped->InternalHigh.load(std::memory_order_relaxed));
        return TRUE;
    }

    // Waits here; the state is shared so that a late completion finds it alive.
    struct Outcome {
        Event done{true, false};
        uint32_t error = 0;
        DWORD bytes = 0;
    };
    auto outcome = std::make_shared<Outcome>();
    open->driver->Submit(std::make_shared<IoRequest>(code, input, inputLength, output, outputLength,
                                                     [outcome](uint32_t error, DWORD bytes) {
                                                         outcome->error = error;
                                                         outcome->bytes = bytes;
                                                         outcome->done.Set();
                                                     }));
    outcome->done.Wait();
    if (outcome->error) return Fail(outcome->error);
    if (bytesReturned) *bytesReturned = outcome->bytes;
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
    if (!overlapped || !Lookup<OpenDevice>(device)) return Fail(ERROR_INVALID_HANDLE);
    if (overlapped->Internal.load(std::memory_order_acquire) == STATUS_PENDING) {
        if (!wait) return Fail(ERROR_IO_INCOMPLETE);
        const std::shared_ptr<Event> event = Lookup<Event>(overlapped->hEvent);
        while (overlapped->Internal.load(std::memory_order_acquire) == STATUS_PENDING) {
            // Without an event of its own the request is watched, as a handle wait would.
            if (event) event->Wait(INFINITE);
            else Sleep(1);
        }
    }
    const ULONG_PTR status = overlapped->Internal.load(std::memory_order_acquire);
    if (bytesTransferred) *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh.load(std::memory_order_relaxed));
    if (status != 0) return Fail(static_cast<uint32_t>(status));
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    Object taken;
    {
        Registry& r = Objects();
        std::lock_guard lock(r.lock);
        const auto it = r.handles.find(reinterpret_cast<uintptr_t>(object));
        if (it == r.handles.end()) return Fail(ERROR_INVALID_HANDLE);
        taken = std::move(it->second);
        r.handles.erase(it);
    }
    if (auto* device = std::get_if<std::shared_ptr<OpenDevice>>(&taken)) (*device)->driver->Close();
    return TRUE;
}

HANDLE CreateEventA(void* /*security*/, BOOL manualReset, BOOL initiallySignalled, const char* /*name*/) {
    return Insert(std::make_shared<Event>(manualReset != FALSE, initiallySignalled != FALSE));
}

BOOL SetEvent(HANDLE event) {
    const auto e = Lookup<Event>(event);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    e->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    const auto e = Lookup<Event>(event);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    e->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD timeoutMs) {
    const auto e = Lookup<Event>(object);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return e->Wait(timeoutMs) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
