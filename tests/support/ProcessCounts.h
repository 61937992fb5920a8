#pragma once
// What this process holds right now, read from /proc: leak checks compare these before
// and after many cycles.
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline size_t EntriesOf(const char* directory) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(directory), {}));
}
inline size_t ThreadCount() { return EntriesOf("/proc/self/task"); }
inline size_t OpenDescriptors() { return EntriesOf("/proc/self/fd"); }

// Threads of that name; with asleep, only those blocked in a call.
inline int ThreadsNamed(const std::string& name, bool asleep = false) {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm, stat;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        std::getline(std::ifstream(task.path() / "stat"), stat);
        const size_t state = stat.rfind(") ");
        if (comm == name && (!asleep || (state != std::string::npos && stat[state + 2] == 'S'))) ++count;
    }
    return count;
}
