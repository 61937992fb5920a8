#pragma once
// Runs a program the way a user would, through the shell, and keeps what it printed.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

struct ShellResult {
    int status;  // the exit status; -1 when the program did not exit normally
    std::string out, err;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Standard output and standard error are captured unless the command line redirects them.
inline ShellResult RunShell(const std::string& command) {
    namespace fs = std::filesystem;
    static int serial = 0;
    const fs::path base = fs::temp_directory_path() / ("shell-run-" + std::to_string(getpid()) + "-" +
                                                      std::to_string(__atomic_add_fetch(&serial, 1, __ATOMIC_RELAXED)));
    const std::string out = base.string() + ".out", err = base.string() + ".err";
    const int raw = std::system(("{ " + command + " ; } >'" + out + "' 2>'" + err + "'").c_str());
    ShellResult r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(out), ReadWholeFile(err)};
    fs::remove(out);
    fs::remove(err);
    return r;
}
