#pragma once
// The streaming commands (push, passthrough, live, play, iptv) share their options and
// one run path: open the input, build and run the graph, wait, stop, print the summary
// and choose the exit status. Each command supplies only the hooks below.
#include <string>
#include <vector>

#include "host/Command.h"
#include "host/RunReport.h"
#include "host/UdpSender.h"

class StreamSession;

// Options every streaming command shares.
struct StreamOptions {
    std::string modulePath;  // empty: beside the executable
    std::string out = "-";
    double seconds = 0;      // 0: until the input ends or the user interrupts
    bool json = false;
    bool udp = false;        // re-stream "TS Out" to udpOptions.destination as well
    UdpSender::Options udpOptions;
};

class StreamCommand : public Command {
public:
    explicit StreamCommand(const char* name) : name_(name) {}
    void Declare(CLI::App& cmd) final;
    std::string Check(const CLI::App& cmd) override;
    int Run(const GlobalOptions& global) final;
    bool HandlesInterrupt() const final { return true; }

protected:
    virtual void DeclareOwn(CLI::App& cmd) = 0;
    // Checks and opens the input, before the module is loaded.
    virtual bool Open(std::string*) { return true; }
    // Before the graph runs: the filter's mode, callbacks, upstream filters.
    virtual bool Prepare(StreamSession& session, std::string* error) = 0;
    // After the graph runs.
    virtual bool Start(StreamSession&, std::string*) { return true; }
    // True once everything the input had has left the filter: the run ends.
    virtual bool Finished(const StreamSession&) const { return false; }
    // Ends the input's own threads; what they read by then is still handed on.
    virtual void Stop(StreamSession&) {}
    // After Stop: true once what was handed on has left the filter.
    virtual bool Drained(const StreamSession&) const { return true; }
    // For the live status line and the summary.
    virtual std::vector<RunReport::Field> Status() const { return {}; }
    // Summary fields that only the end knows.
    virtual std::vector<RunReport::Field> Summary() const { return {}; }
    // Set when reading the input failed.
    virtual std::string InputError() const { return {}; }
    // The status of a run that was neither interrupted nor failed.
    virtual int Outcome() const { return kExitDone; }

    StreamOptions options_;
    // iptv receives on --interface; every other command sends on it.
    bool interfaceIsForSending_ = true;
    std::string interface_;  // --interface as given

private:
    const char* name_;
};
