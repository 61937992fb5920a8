#include "platform/system/ErrorText.h"
#include "platform/system/ErrorCodes.h"
#include <cstdio>
#include <cstring>

namespace {
thread_local uint32_t t_lastError = 0;

// strerror_r comes in a GNU flavour (returns the text) and an XSI one (fills the buffer).
[[maybe_unused]] const char* Pick(const char* result, const char*) { return result; }
[[maybe_unused]] const char* Pick(int result, const char* buffer) { return result == 0 ? buffer : nullptr; }

struct Message {
    int32_t code;
    const char* text;
};
constexpr Message kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_DIRECTORY_NOT_SUPPORTED, "An operation is not supported on a directory."},
    {ERROR_OPERATION_ABORTED, "The I/O operation has been aborted because of either a thread exit or an application request."},
    {ERROR_IO_INCOMPLETE, "Overlapped I/O event is not in a signaled state."},
    {ERROR_IO_PENDING, "Overlapped I/O operation is in progress."},
    {ERROR_BADDB, "The configuration registry database is corrupt."},
    {ERROR_BADKEY, "The configuration registry key is invalid."},
    {ERROR_CANTREAD, "The configuration registry key could not be read."},
    {ERROR_CANTWRITE, "The configuration registry key could not be written."},
    {ERROR_KEY_DELETED, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected."},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file."},
};
constexpr uint32_t kWin32Facility = 0x80070000u;
}  // namespace

uint32_t GetLastError() { return t_lastError; }
void SetLastError(uint32_t error) { t_lastError = error; }

std::string SystemMessageText(int osErrorCode) {
    char buffer[256] = {};
    const char* text = Pick(strerror_r(osErrorCode, buffer, sizeof buffer), buffer);
    std::string s = text ? text : "Unknown error " + std::to_string(osErrorCode);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string Win32ErrorText(uint32_t code) {
    uint32_t system = (code & 0xFFFF0000u) == kWin32Facility ? code & 0xFFFFu : code;
    for (const Message& m : kMessages)
        if (static_cast<uint32_t>(m.code) == system) return m.text;
    char text[32];
    std::snprintf(text, sizeof text, "Unknown error 0x%08X", code);
    return text;
}
