#include "host/FileProbe.h"

#include <fstream>
#include <vector>

#include "feeds/file/StreamAnalysis.h"

namespace {
// As much as the file feed sniffs before it plays.
constexpr size_t kSniffBytes = 10240;
}  // namespace

uint32_t FilePacketSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::vector<uint8_t> head(kSniffBytes);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    return DetectPacketSize(head.data(), static_cast<uint32_t>(in.gcount()));
}
