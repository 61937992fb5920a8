#pragma once
// Points the settings store at a fresh temporary directory for the life of the object.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

class ScopedHome {
public:
    ScopedHome() {
        if (const char* old = std::getenv("KESTREL_HOME")) previous_ = old;
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-graph-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        setenv("KESTREL_HOME", path_.c_str(), 1);
    }
    ~ScopedHome() {
        if (previous_)
            setenv("KESTREL_HOME", previous_->c_str(), 1);
        else
            unsetenv("KESTREL_HOME");
        std::filesystem::remove_all(path_);
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::optional<std::string> previous_;
};
