#pragma once
#include <string>

#include "host/UdpSender.h"

// The application name the host passes to the feeds' settings.
constexpr const char* kDefaultApplicationName = "kestrel";

// Options every streaming subcommand shares.
struct StreamOptions {
    std::string modulePath;  // empty: beside the executable
    std::string out = "-";
    double seconds = 0;      // 0: until the input ends or the user interrupts
    bool json = false;
    bool udp = false;        // re-stream "TS Out" to udpOptions.destination as well
    UdpSender::Options udpOptions;
};

int RunFeedsCommand(const std::string& modulePath, bool json);
int RunPushCommand(const StreamOptions& options, const std::string& in);
int RunPassthroughCommand(const StreamOptions& options, const std::string& in);
int RunLiveCommand(const StreamOptions& options, const std::string& name);
int RunRegisterCommand(const std::string& modulePath, bool doRegister);
struct IptvOptions {
    std::string address;      // group or local unicast address with its port
    std::string interface;    // receiving interface address; empty: the feed's choice
    std::string source;       // source-specific multicast sender; empty: any source
    std::string application = kDefaultApplicationName;
};
int RunIptvCommand(const StreamOptions& options, const IptvOptions& iptv);
int RunPlayCommand(const StreamOptions& options, const std::string& source, bool once);
int RunMeasureCommand(const std::string& path, bool json);
int RunSettingsCommand(const std::string& application);


// A file name as the filter hands it to the bitrate measurement: each byte widened.
std::u16string WidenFileName(const std::string& name);

// Set by SIGINT/SIGTERM; streaming loops stop when they see it.
bool Interrupted();
void InstallInterruptHandler();
// One clear line on standard error; returns the exit status for a failure.
int Fail(const std::string& message);
