#include <atomic>
#include <csignal>
#include <cstdio>

#include "host/Commands.h"

namespace {
std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted.store(true); }
}  // namespace

bool Interrupted() { return g_interrupted.load(); }

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kestrel: %s\n", message.c_str());
    return 1;
}
