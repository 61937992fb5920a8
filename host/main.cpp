// kestrel: drives the transport-stream filter module from the command line.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/Command.h"
#include "host/HostResources.h"

namespace {

int UsageError(const std::string& message) {
    std::string line = message;
    for (char& c : line) {
        if (c == '\n') c = ' ';
    }
    std::fprintf(stderr, "kestrel: %s\n", line.c_str());
    return kExitUsage;
}

// The first word that is neither an option nor the value of --module: the command.
std::string CommandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--module") {
            ++i;
        } else if (arg.empty() || arg[0] != '-') {
            return arg;
        } else if (arg == "--") {
            return i + 1 < argc ? argv[i + 1] : "";
        }
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe is reported as a write error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    CLI::App app{"kestrel - transport-stream source filter host"};
    app.set_version_flag("--version", std::string("kestrel ") + KESTREL_VERSION);
    app.require_subcommand(1);
    GlobalOptions global;
    app.add_option("--module", global.modulePath, "Path of Kestrel.ax (default: beside this program)")
        ->type_name("PATH");

    struct Entry {
        CLI::App* app;
        std::unique_ptr<Command> command;
    };
    std::vector<Entry> commands;
    bool known = false;
    const std::string word = CommandWord(argc, argv);
    for (const CommandEntry& entry : RegisteredCommands()) {
        Entry e{app.add_subcommand(entry.name, entry.help), entry.make()};
        e.command->Declare(*e.app);
        known = known || word == entry.name;
        commands.push_back(std::move(e));
    }
    if (!word.empty() && !known) return UsageError("unknown command \"" + word + "\" (see 'kestrel --help')");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::RequiredError& e) {
        if (!word.empty()) return UsageError(e.what());
        // Before any command, the parser only says that the command is missing.
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--module") {
                ++i;
            } else if (arg.rfind("--module=", 0) != 0) {
                return UsageError("unknown option \"" + arg + "\"");
            }
        }
        return UsageError("no command given (see 'kestrel --help')");
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }

    for (Entry& e : commands) {
        if (!e.app->parsed()) continue;
        if (std::string problem = e.command->Check(*e.app); !problem.empty()) return UsageError(problem);
        if (e.command->HandlesInterrupt()) InstallInterruptHandler();
        RegisterHostResources();
        return e.command->Run(global);
    }
    return UsageError("no command given (see 'kestrel --help')");
}
