#pragma once
// A program a test starts with a pipe on its standard input, standard output to a file
// or a terminal descriptor, and standard error captured; it can be signalled once it
// has installed its handler for that signal.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

extern char** environ;

class ChildProcess {
public:
    // command: a shell command line, run with exec so that the pid is the program's.
    // stdoutFd: where standard output goes (-1: /dev/null).
    ChildProcess(const std::string& command, const std::string& errPath, int stdoutFd = -1) {
        // A program that ended early makes writes to its input fail instead of killing the test.
        signal(SIGPIPE, SIG_IGN);
        int in[2];
        if (pipe2(in, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        if (stdoutFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::string line = "exec " + command;
        char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), line.data(), nullptr};
        if (posix_spawn(&pid_, "/bin/sh", &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        input_ = in[1];
    }
    ~ChildProcess() {
        CloseInput();
        if (pid_ > 0 && status_ == kRunning) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    int Input() const { return input_; }
    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    // True once the process runs the program of that name (not the shell or env that
    // exec it) and that program catches the signal.
    bool Catches(int signal, const std::string& program) const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        bool named = false;
        while (std::getline(in, line)) {
            if (line.rfind("Name:", 0) == 0) named = line.substr(line.find_first_not_of(" \t", 5)) == program;
            if (line.rfind("SigCgt:", 0) == 0)
                return named && ((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1);
        }
        return false;
    }
    void Signal(int signal) const { kill(pid_, signal); }
    // The exit status, or -1 when it did not exit normally within the limit.
    int Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (status_ == kRunning) {
            int raw = 0;
            pid_t done = waitpid(pid_, &raw, WNOHANG);
            if (done == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : kAbnormal;
            } else if (std::chrono::steady_clock::now() >= end) {
                return -1;
            } else {
                usleep(1000);
            }
        }
        return status_ == kAbnormal ? -1 : status_;
    }

private:
    static constexpr int kRunning = -2, kAbnormal = -3;
    pid_t pid_ = -1;
    int input_ = -1;
    int status_ = kRunning;
};
