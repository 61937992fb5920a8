#pragma once
// The command registry: each command file registers its name, help, options and run
// function; main() only parses and dispatches.
#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Exit statuses, the same for every command.
constexpr int kExitDone = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// iptv ran to its end without one datagram arriving.
constexpr int kExitNothingReceived = 3;
constexpr int kExitInterrupted = 130;

// The application name the host passes to the feeds' settings.
constexpr const char* kDefaultApplicationName = "kestrel";

// Options given before the command name.
struct GlobalOptions {
    std::string modulePath;  // empty: beside the executable
};

class Command {
public:
    virtual ~Command() = default;
    virtual void Declare(CLI::App& cmd) = 0;
    // After parsing; a non-empty text is a usage error.
    virtual std::string Check(const CLI::App&) { return {}; }
    virtual int Run(const GlobalOptions& global) = 0;
    // Commands that end cleanly on SIGINT/SIGTERM say so; the others keep the default
    // action, which ends them at once (the store's writes are atomic replaces).
    virtual bool HandlesInterrupt() const { return false; }
};

struct CommandEntry {
    int order;  // place in the help listing
    const char* name;
    const char* help;
    std::function<std::unique_ptr<Command>()> make;
};

// Called from each command file's static initialisation.
bool RegisterCommand(CommandEntry entry);
// Sorted by order.
std::vector<CommandEntry> RegisteredCommands();

// A number option's check, without the parser's type text in the help: finite, in
// [low, high], whole when integer.
CLI::Validator NumberIn(double low, double high, bool integer);

// SIGINT/SIGTERM: the flag, and a descriptor that turns readable (and stays so) on the
// signal, for poll() beside the descriptors a command waits on.
bool Interrupted();
int InterruptFd();
void InstallInterruptHandler();

// One "kestrel: ..." line on standard error; returns kExitFailure.
int Fail(const std::string& message);

// A file name as the filter hands it to the bitrate measurement: each byte widened.
std::u16string WidenFileName(const std::string& name);
