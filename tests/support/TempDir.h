#pragma once
// A folder of the test's own under the system's temporary directory, removed with all
// it holds when the object goes.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "tests/support/ShellRun.h"

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "kestrel-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string Read(const std::string& name) const { return ReadWholeFile(File(name)); }
    // Returns the file's path.
    std::string Write(const std::string& name, std::string_view data) const {
        std::ofstream(File(name), std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
        return File(name);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& data) const {
        return Write(name, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    }
    // Names of what the folder holds, sorted.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};
