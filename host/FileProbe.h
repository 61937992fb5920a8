#pragma once
#include <cstdint>
#include <string>

// The packet size (188, 192 or 204) as the file feed finds it in the file's first
// bytes; 0 when the file cannot be read.
uint32_t FilePacketSize(const std::string& path);
