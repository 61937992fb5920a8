#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

#include "host/Command.h"

namespace {
std::atomic<bool> g_interrupted{false};
int g_interruptFd = -1;

std::vector<CommandEntry>& Registry() {
    static std::vector<CommandEntry> entries;
    return entries;
}

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
    if (g_interruptFd >= 0) {
        uint64_t one = 1;
        // Only makes the descriptor readable; nothing ever reads it back.
        [[maybe_unused]] ssize_t n = ::write(g_interruptFd, &one, sizeof one);
    }
}
}  // namespace

bool RegisterCommand(CommandEntry entry) {
    Registry().push_back(std::move(entry));
    return true;
}

std::vector<CommandEntry> RegisteredCommands() {
    std::vector<CommandEntry> sorted = Registry();
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.order < b.order; });
    return sorted;
}

CLI::Validator NumberIn(double low, double high, bool integer) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            double value = std::strtod(text.c_str(), &end);
            bool ok = !text.empty() && end && *end == '\0' && errno == 0 && std::isfinite(value) && value >= low &&
                      value <= high && (!integer || value == std::floor(value));
            if (ok) return {};
            char range[96];
            std::snprintf(range, sizeof range, "%s from %.15g to %.15g", integer ? "a whole number" : "a number", low,
                          high);
            return "\"" + text + "\" is not " + range;
        },
        "");
}

bool Interrupted() { return g_interrupted.load(); }

int InterruptFd() { return g_interruptFd; }

void InstallInterruptHandler() {
    if (g_interruptFd < 0) g_interruptFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kestrel: %s\n", message.c_str());
    return kExitFailure;
}

std::u16string WidenFileName(const std::string& name) {
    std::u16string wide;
    for (unsigned char c : name) wide.push_back(c);
    return wide;
}
