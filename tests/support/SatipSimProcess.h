#pragma once
// The built satip-sim program started in the foreground (inside a network namespace
// when one is named), with the "key value" lines it prints once ready read back.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramTestDir.h"
#include "tests/support/WaitUntil.h"

class SatipSimProcess {
public:
    // args: everything after "--control 0".
    SatipSimProcess(const std::string& dir, const std::string& args, const std::string& netns = "") {
        outPath_ = dir + "/sim.out";
        const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string program = "'" + TestBinDir() + "/satip-sim' --control 0 " + args;
        process_ = std::make_unique<ChildProcess>(netns.empty() ? program : "ip netns exec " + netns + " " + program,
                                                  dir + "/sim.err", out);
        close(out);
        ready_ = WaitUntil([&] { return ReadWholeFile(outPath_).find("ready\n") != std::string::npos; },
                           std::chrono::seconds(10));
        const std::string text = ReadWholeFile(outPath_);
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            lines_[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
            at = end + 1;
        }
    }
    bool Ready() const { return ready_; }
    // The port at the end of the key's line; 0 when there is no such line.
    uint16_t Port(const std::string& key) const {
        const std::string line = Line(key);
        return line.empty() ? 0 : static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    }
    std::string Line(const std::string& key) const {
        const auto it = lines_.find(key);
        return it == lines_.end() ? "" : it->second;
    }
    ChildProcess& Process() { return *process_; }

private:
    std::string outPath_;
    std::unique_ptr<ChildProcess> process_;
    std::map<std::string, std::string> lines_;
    bool ready_ = false;
};
