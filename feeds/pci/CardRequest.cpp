#include "feeds/pci/CardRequest.h"

#include "platform/system/ErrorCodes.h"
#include "platform/system/ErrorText.h"

bool DeviceRequest(HANDLE device, DWORD code, const void* input, DWORD inputLength, void* output,
                   DWORD outputLength, DWORD* bytesReturned) {
    DWORD returned = 0;
    OVERLAPPED overlapped;
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent) return false;
    BOOL ok = DeviceIoControl(device, code, input, inputLength, output, outputLength, &returned, &overlapped);
    if (!ok && GetLastError() == static_cast<uint32_t>(ERROR_IO_PENDING))
        ok = GetOverlappedResult(device, &overlapped, &returned, TRUE);
    // Closing the event must not hide the request's own error.
    const uint32_t error = GetLastError();
    CloseHandle(overlapped.hEvent);
    SetLastError(error);
    if (bytesReturned) *bytesReturned = ok ? returned : 0;
    return ok != FALSE;
}
