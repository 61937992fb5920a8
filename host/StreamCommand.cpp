#include "host/StreamCommand.h"

#include <unistd.h>

#include "host/StreamSession.h"

namespace {
// What was handed on before a stop still reaches the output, within this time.
constexpr double kDrainSeconds = 1.0;
}  // namespace

void StreamCommand::Declare(CLI::App& cmd) {
    DeclareOwn(cmd);
    cmd.add_option("--out", options_.out, "Output file, or - for standard output")
        ->type_name("PATH")
        ->capture_default_str();
    cmd.add_option("--seconds", options_.seconds, "Stop after this many seconds")
        ->type_name("SECONDS")
        ->check(NumberIn(0, 31536000, false));
    cmd.add_flag("--json", options_.json, "Print the summary as one JSON object");
    cmd.add_option("--udp", options_.udpOptions.destination, "Re-stream \"TS Out\" as UDP to ADDR:PORT")
        ->type_name("ADDR:PORT");
    cmd.add_flag("--rtp", options_.udpOptions.rtp, "Wrap the UDP datagrams in RTP");
    cmd.add_option("--ttl", options_.udpOptions.ttl, "Multicast time-to-live")
        ->type_name("HOPS")
        ->check(NumberIn(1, 255, true))
        ->capture_default_str();
    cmd.add_option("--interface", interface_,
                   interfaceIsForSending_
                       ? "Sending interface for multicast: a local IPv4 address, or an interface name for IPv6"
                       : "Receiving interface address")
        ->type_name("ADDRESS");
}

std::string StreamCommand::Check(const CLI::App& cmd) {
    options_.udp = cmd.count("--udp") > 0;
    // With --udp and no --out, the stream goes only to the network.
    if (options_.udp && cmd.count("--out") == 0) options_.out.clear();
    if (interfaceIsForSending_) options_.udpOptions.interface = interface_;
    bool sendingInterface = interfaceIsForSending_ && cmd.count("--interface");
    if ((cmd.count("--rtp") || cmd.count("--ttl") || sendingInterface) && !options_.udp)
        return "--rtp, --ttl and --interface go with --udp ADDR:PORT";
    // As gzip does: binary data would only garble the terminal.
    if (options_.out == "-" && isatty(STDOUT_FILENO) == 1)
        return "standard output is a terminal; send the stream elsewhere with --out FILE, a redirection "
               "(> FILE or | PROGRAM) or --udp ADDR:PORT";
    return {};
}

int StreamCommand::Run(const GlobalOptions& global) {
    options_.modulePath = global.modulePath;
    std::string error;
    if (!Open(&error)) return Fail(error);
    StreamSession session;
    if (!session.Create(options_, &error) || !Prepare(session, &error) || !session.Run(&error)) return Fail(error);
    if (!Start(session, &error)) {
        Stop(session);
        session.Stop();
        return Fail(error);
    }

    RunReport report(name_, [&] { return session.BytesOut(); }, [this] { return Status(); });
    report.SetBitrate([&] { return session.StreamBitrate(); });
    report.Start();
    session.WaitUntil(options_.seconds, [&] { return Finished(session); });
    const bool complete = Finished(session);
    // Read while the input still runs: a stopped feed reports no lock.
    std::vector<RunReport::Field> fields = Status();
    Stop(session);
    session.WaitUntil(kDrainSeconds, [&] { return Drained(session); }, false);
    report.Finish();
    session.Stop(complete);
    for (RunReport::Field& field : Summary()) fields.push_back(std::move(field));
    report.PrintSummary(options_.json, fields);

    if (std::string input = InputError(); !input.empty()) return Fail(input);
    if (session.OutputFailed()) return Fail(session.OutputError());
    if (Interrupted()) return kExitInterrupted;
    return Outcome();
}
