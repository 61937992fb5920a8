#include "net/NetTrace.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex traceLock;
NetTraceSink traceSink = nullptr;
void* traceContext = nullptr;

}  // namespace

void SetNetTraceSink(NetTraceSink sink, void* context) {
    std::lock_guard<std::mutex> hold(traceLock);
    traceSink = sink;
    traceContext = context;
}

void NetTrace(std::string_view text) {
    // One line at a time, whichever thread writes it.
    std::lock_guard<std::mutex> hold(traceLock);
    if (traceSink) {
        traceSink(traceContext, text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}
