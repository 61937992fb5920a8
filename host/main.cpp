// kestrel: drives the transport-stream filter module from the command line.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>

#include "host/Commands.h"
#include "host/HostResources.h"

int main(int argc, char** argv) {
    // A closed pipe is reported as a write error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    CLI::App app{"kestrel - transport-stream source filter host"};
    app.require_subcommand(1);
    std::string modulePath;
    app.add_option("--module", modulePath, "Path of Kestrel.ax (default: beside this program)");

    auto addStreamOptions = [](CLI::App* cmd, StreamOptions& o) {
        cmd->add_option("--out", o.out, "Output file, or - for standard output")->capture_default_str();
        cmd->add_option("--seconds", o.seconds, "Stop after this many seconds")->check(CLI::Range(0.0, 31536000.0));
        cmd->add_flag("--json", o.json, "Print the summary as one JSON object");
        cmd->add_option("--udp", o.udpOptions.destination, "Re-stream \"TS Out\" as UDP to ADDR:PORT");
        cmd->add_flag("--rtp", o.udpOptions.rtp, "Wrap the UDP datagrams in RTP");
        cmd->add_option("--ttl", o.udpOptions.ttl, "Multicast time-to-live")->check(CLI::Range(1, 255))->capture_default_str();
        cmd->add_option("--interface", o.udpOptions.interface,
                        "Sending interface for multicast: a local IPv4 address, or an interface name for IPv6");
    };
    // With --udp and no --out, the stream goes only to the network.
    auto finishStreamOptions = [](CLI::App* cmd, StreamOptions& o) {
        o.udp = cmd->count("--udp") > 0;
        if (o.udp && cmd->count("--out") == 0) o.out.clear();
    };

    bool feedsJson = false;
    CLI::App* feeds = app.add_subcommand("feeds", "List the filter's feeds");
    feeds->add_flag("--json", feedsJson, "JSON output");

    StreamOptions push;
    std::string pushIn = "-";
    CLI::App* pushCmd = app.add_subcommand("push", "Host-supplied mode: data from a file or standard input");
    pushCmd->add_option("--in", pushIn, "Input file, or - for standard input")->capture_default_str();
    addStreamOptions(pushCmd, push);

    StreamOptions pass;
    std::string passIn;
    CLI::App* passCmd = app.add_subcommand("passthrough", "Pass-through mode: a source graph feeds \"Antenna\"");
    passCmd->add_option("--in", passIn, "Input file")->required();
    addStreamOptions(passCmd, pass);

    StreamOptions live;
    std::string liveName;
    CLI::App* liveCmd = app.add_subcommand("live", "Live mode: the feed of that display name");
    liveCmd->add_option("NAME", liveName, "Display name as 'kestrel feeds' lists it")->required();
    addStreamOptions(liveCmd, live);

    StreamOptions play;
    std::string playSource;
    bool playOnce = false;
    CLI::App* playCmd = app.add_subcommand("play", "File mode: play a transport-stream file at its measured bitrate");
    playCmd->add_option("PATH", playSource, "File; append :LOOP: to loop (the filter loops files in any case)")
        ->required();
    playCmd->add_flag("--once", playOnce, "Stop after exactly one pass of the file");
    addStreamOptions(playCmd, play);

    StreamOptions iptvStream;
    IptvOptions iptv;
    CLI::App* iptvCmd = app.add_subcommand("iptv", "Receive an IPTV stream (UDP or RTP, multicast or unicast)");
    iptvCmd->add_option("ADDR:PORT", iptv.address, "Group or local unicast address: 239.1.2.3:5000, [ff15::1]:5000")
        ->required();
    iptvCmd->add_option("--source", iptv.source, "Sender for source-specific multicast");
    iptvCmd->add_option("--app", iptv.application, "Application name for the stored feed settings")
        ->capture_default_str();
    addStreamOptions(iptvCmd, iptvStream);
    // On this command --interface is where the stream is received.
    iptvCmd->get_option("--interface")->description("Receiving interface address");

    std::string measurePath;
    bool measureJson = false;
    CLI::App* measureCmd = app.add_subcommand("measure", "Packet size and PCR bitrate of a file");
    measureCmd->add_option("PATH", measurePath, "Transport-stream file")->required();
    measureCmd->add_flag("--json", measureJson, "JSON output");

    std::string settingsApp = kDefaultApplicationName;
    CLI::App* settingsCmd = app.add_subcommand("settings", "Show the stored settings of an application");
    settingsCmd->add_option("--app", settingsApp, "Application name")->capture_default_str();

    CLI::App* regCmd = app.add_subcommand("register", "Register the module's classes");
    CLI::App* unregCmd = app.add_subcommand("unregister", "Remove the module's registration");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    InstallInterruptHandler();
    RegisterHostResources();
    push.modulePath = pass.modulePath = live.modulePath = play.modulePath = iptvStream.modulePath = modulePath;
    finishStreamOptions(iptvCmd, iptvStream);
    // The iptv command's --interface receives; it is not the re-streaming interface.
    if (*iptvCmd) {
        iptv.interface = iptvStream.udpOptions.interface;
        iptvStream.udpOptions.interface.clear();
    }
    finishStreamOptions(playCmd, play);
    finishStreamOptions(pushCmd, push);
    finishStreamOptions(passCmd, pass);
    finishStreamOptions(liveCmd, live);
    for (auto* cmd : {pushCmd, passCmd, liveCmd, playCmd, iptvCmd}) {
        bool interfaceForUdp = cmd != iptvCmd && cmd->count("--interface");
        if ((cmd->count("--rtp") || cmd->count("--ttl") || interfaceForUdp) && !cmd->count("--udp"))
            return Fail("--rtp, --ttl and --interface go with --udp ADDR:PORT");
    }
    if (*feeds) return RunFeedsCommand(modulePath, feedsJson);
    if (*pushCmd) return RunPushCommand(push, pushIn);
    if (*passCmd) return RunPassthroughCommand(pass, passIn);
    if (*liveCmd) return RunLiveCommand(live, liveName);
    if (*playCmd) return RunPlayCommand(play, playSource, playOnce);
    if (*iptvCmd) return RunIptvCommand(iptvStream, iptv);
    if (*measureCmd) return RunMeasureCommand(measurePath, measureJson);
    if (*settingsCmd) return RunSettingsCommand(settingsApp);
    if (*regCmd) return RunRegisterCommand(modulePath, true);
    if (*unregCmd) return RunRegisterCommand(modulePath, false);
    return Fail("no command given");
}
