#include "feeds/bda/BdaConnectLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "platform/com/WideString.h"
#include "platform/registry/Registry.h"

namespace {

constexpr const char* kHeaderFormat = "BDA Connect log (build time %s %s, local time %s)\r\n";
constexpr const char* kDirectHeading = "Connect direct\r\n=============================\r\n";
constexpr const char* kIntelligentHeading = "Connect\r\n=============================\r\n";
constexpr const char* kDriveFolderPrefix = "drive_";
// Every line is formatted into this many characters, terminator included.
constexpr size_t kLineCapacity = 260;

std::u16string Line(const char* text) {
    std::u16string line = WideFromUtf8(text);
    if (line.size() > kLineCapacity - 1) line.resize(kLineCapacity - 1);
    return line;
}

void Append(int fd, const std::u16string& line) {
    std::string bytes;
    bytes.reserve(line.size() * 2);
    for (char16_t c : line) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// 24 characters of weekday, month, day, time and year, then a line feed.
std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
    return text;
}

}  // namespace

std::string MapDrivePath(std::string_view drivePath) {
    if (drivePath.size() < 3 || !std::isalpha(static_cast<unsigned char>(drivePath[0])) || drivePath[1] != ':' ||
        drivePath[2] != '\\')
        return std::string(drivePath);
    std::string rest(drivePath.substr(3));
    for (char& c : rest)
        if (c == '\\') c = '/';
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(drivePath[0])));
    return RegistryDirectory() + "/" + kDriveFolderPrefix + drive + "/" + rest;
}

std::u16string BdaConnectLogHeader(const char* buildDate, const char* buildTime, const char* localTime) {
    char text[kLineCapacity * 4];
    std::snprintf(text, sizeof text, kHeaderFormat, buildDate, buildTime, localTime);
    return Line(text);
}

bool WriteBdaConnectLog(const std::string& path, IGraphBuilder* graph, IPin* output, IPin* input) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::lseek(fd, 0, SEEK_END);
    Append(fd, BdaConnectLogHeader(__DATE__, __TIME__, LocalTimeText().c_str()));
    // The graph writes through a duplicate that shares this offset, so its trace and
    // our headings interleave in call order.
    graph->SetLogFile(static_cast<DWORD_PTR>(fd));
    Append(fd, Line(kDirectHeading));
    graph->ConnectDirect(output, input, nullptr);
    Append(fd, Line(kIntelligentHeading));
    graph->Connect(output, input);
    graph->SetLogFile(0);
    ::close(fd);
    return true;
}
