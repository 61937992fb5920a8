#pragma once
// Devices opened like files and driven by device requests, with overlapped completion
// and the events it signals, as the desktop platform offers them to its drivers' users.
#include <atomic>
#include <cstdint>

#include "platform/system/PlainTypes.h"
#include "platform/system/Wait.h"

using HANDLE = void*;
using ULONG_PTR = uintptr_t;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
// The Internal member of a request still in flight.
constexpr ULONG_PTR STATUS_PENDING = 0x103;

// The completion members are written by the completing thread and read by the waiter.
struct OVERLAPPED {
    std::atomic<ULONG_PTR> Internal{0};      // STATUS_PENDING, 0, or the system error code
    std::atomic<ULONG_PTR> InternalHigh{0};  // bytes transferred
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    HANDLE hEvent = nullptr;
};

// "\\.\NAME" opens the device NAME of the first backend that serves it. Devices allow
// one handle at a time (share mode 0): a second open fails with ERROR_SHARING_VIOLATION.
HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security, DWORD disposition, DWORD flags,
                   HANDLE templateFile);
// Without an OVERLAPPED the call waits for completion. With one (and a handle opened
// overlapped) a request that does not complete at once returns FALSE with
// ERROR_IO_PENDING; its event is reset at the start and set on completion.
BOOL DeviceIoControl(HANDLE device, DWORD code, const void* input, DWORD inputLength, void* output,
                     DWORD outputLength, DWORD* bytesReturned, OVERLAPPED* overlapped);
// ERROR_IO_INCOMPLETE without waiting while pending.
BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait);
// Completes the device's pending requests as aborted before it returns.
BOOL CloseHandle(HANDLE object);

HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initiallySignalled, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE object, DWORD timeoutMs);
