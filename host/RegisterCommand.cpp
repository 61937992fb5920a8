#include <cstdio>

#include "host/Command.h"
#include "host/KestrelModule.h"
#include "platform/registry/Registry.h"

namespace {

int Register(const std::string& modulePath, bool doRegister) {
    KestrelModule module;
    if (!module.Load(modulePath)) return Fail(module.Error());
    HRESULT hr = doRegister ? module.Register() : module.Unregister();
    if (FAILED(hr))
        return Fail(std::string(doRegister ? "registration" : "unregistration") + " failed: " + HResultText(hr));
    std::fprintf(stderr, "%s %s in %s\n", doRegister ? "registered" : "unregistered", module.Path().c_str(),
                 RegistryDirectory().c_str());
    return 0;
}

class RegisterCommand final : public Command {
public:
    explicit RegisterCommand(bool doRegister) : doRegister_(doRegister) {}

private:
    void Declare(CLI::App&) override {}
    int Run(const GlobalOptions& global) override { return Register(global.modulePath, doRegister_); }
    bool doRegister_;
};

const bool registered =
    ::RegisterCommand({70, "register", "Register the module's classes",
                       [] { return std::make_unique<RegisterCommand>(true); }}) &&
    ::RegisterCommand({80, "unregister", "Remove the module's registration",
                       [] { return std::make_unique<RegisterCommand>(false); }});

}  // namespace
