#pragma once
// What the control channel, signals and options change while the server runs, read by
// every thread.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/PacedStream.h"

enum class Malformed {
    None,
    NoCseq,      // the reply leaves out CSeq
    BadStatus,   // the status line is not "RTSP/1.0 <3 digits> <text>"
    HugeHeader,  // a 64 KiB header line in the reply
    NoTimeout,   // "Session: <id>" without ";timeout="
    Garbage,     // bytes that are no reply at all
    Silent,      // no reply
    Close,       // the connection is closed instead of a reply
};

// "no-cseq", "bad-status", ... ; false for an unknown name.
bool ParseMalformed(const std::string& name, Malformed* mode);
const char* MalformedName(Malformed mode);

struct SimState {
    std::atomic<bool> data{true};  // false: streams go on but send no transport stream
    std::atomic<bool> rtcp{true};
    std::atomic<bool> lock{true};
    std::atomic<unsigned> level{224};
    std::atomic<unsigned> quality{15};
    std::atomic<unsigned> replyDelayMs{0};
    std::atomic<Malformed> malformed{Malformed::None};
    std::atomic<bool> stopping{false};

    // Set before the servers start, read-only afterwards.
    std::vector<std::string> malformedMethods;  // empty: every method
    PacedStreamSource source;
    bool verbose = true;

    bool MalformedFor(const std::string& method) const;
    void Log(const std::string& line) const;
};

// Front ends by kind, numbered from 1 in the order of the capability list.
class Frontends {
public:
    // "DVBS2-2,DVBT-1,DVBC-1"; false when the text is no such list.
    bool Configure(const std::string& capabilities);
    // The front end taken, 0 when none of the kind is free (or `wanted`, if not 0, is not
    // one of the kind or is busy).
    unsigned Acquire(char kind, unsigned wanted);
    void Release(unsigned frontend);
    unsigned Count(char kind) const;

private:
    mutable std::mutex mutex_;
    std::vector<char> kinds_;  // index frontend - 1
    std::vector<bool> busy_;
};

// One line of the control channel ("lock 0", "data off", "malformed no-cseq", "quit", ...)
// applied to the state; the reply line without its newline. "quit" sets *quit; "die"
// ends the process at once, announcing nothing.
std::string RunControlCommand(SimState& state, const std::string& line, std::atomic<bool>* quit);
