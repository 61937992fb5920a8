#pragma once
// Where the protocol clients' trace lines go: standard output unless the process
// says otherwise (a host writing the stream itself to standard output must).
#include <string_view>

using NetTraceSink = void (*)(void* context, std::string_view text);

// Null restores standard output. Set it before any client runs; the sink may be called
// from any thread, one line at a time.
void SetNetTraceSink(NetTraceSink sink, void* context);
// The text as it stands (the lines carry their own "\r\n").
void NetTrace(std::string_view text);
