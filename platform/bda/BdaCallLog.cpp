#include "platform/bda/BdaCallLog.h"
#include <mutex>

namespace {
std::mutex& LogMutex() {
    static std::mutex m;
    return m;
}
std::vector<std::string>& LogLines() {
    static std::vector<std::string> lines;
    return lines;
}
}  // namespace

void BdaCallLog::Add(std::string line) {
    std::lock_guard lock(LogMutex());
    LogLines().push_back(std::move(line));
}

std::vector<std::string> BdaCallLog::Lines() {
    std::lock_guard lock(LogMutex());
    return LogLines();
}

void BdaCallLog::Clear() {
    std::lock_guard lock(LogMutex());
    LogLines().clear();
}
