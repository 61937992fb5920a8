#pragma once
// The desktop's system error codes that this platform returns (registry results, last
// errors). Win32ErrorText gives each its message.
#include <cstdint>

constexpr int32_t ERROR_SUCCESS = 0;
constexpr int32_t ERROR_INVALID_FUNCTION = 1;
constexpr int32_t ERROR_FILE_NOT_FOUND = 2;
constexpr int32_t ERROR_PATH_NOT_FOUND = 3;
constexpr int32_t ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr int32_t ERROR_ACCESS_DENIED = 5;
constexpr int32_t ERROR_INVALID_HANDLE = 6;
constexpr int32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr int32_t ERROR_WRITE_PROTECT = 19;
constexpr int32_t ERROR_GEN_FAILURE = 31;
constexpr int32_t ERROR_SHARING_VIOLATION = 32;
constexpr int32_t ERROR_NOT_SUPPORTED = 50;  // no presenter: nothing can be shown
constexpr int32_t ERROR_INVALID_PARAMETER = 87;
constexpr int32_t ERROR_DISK_FULL = 112;
constexpr int32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr int32_t ERROR_FILENAME_EXCED_RANGE = 206;
constexpr int32_t ERROR_MORE_DATA = 234;
constexpr int32_t ERROR_NO_MORE_ITEMS = 259;
constexpr int32_t ERROR_DIRECTORY = 267;                // a path that should be a folder is not one
constexpr int32_t ERROR_DIRECTORY_NOT_SUPPORTED = 336;  // a path that should be a file is a folder
constexpr int32_t ERROR_OPERATION_ABORTED = 995;
constexpr int32_t ERROR_IO_INCOMPLETE = 996;
constexpr int32_t ERROR_IO_PENDING = 997;
constexpr int32_t ERROR_BADDB = 1009;
constexpr int32_t ERROR_BADKEY = 1010;
constexpr int32_t ERROR_CANTREAD = 1012;
constexpr int32_t ERROR_CANTWRITE = 1013;
constexpr int32_t ERROR_KEY_DELETED = 1018;  // the handle's key no longer exists
constexpr int32_t ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr int32_t ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr int32_t ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
