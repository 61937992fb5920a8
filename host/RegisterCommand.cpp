#include <cstdio>

#include "host/Commands.h"
#include "host/KestrelModule.h"
#include "platform/registry/Registry.h"

int RunRegisterCommand(const std::string& modulePath, bool doRegister) {
    KestrelModule module;
    if (!module.Load(modulePath.empty() ? KestrelModule::DefaultPath() : modulePath)) return Fail(module.Error());
    HRESULT hr = doRegister ? module.Register() : module.Unregister();
    if (FAILED(hr))
        return Fail(std::string(doRegister ? "registration" : "unregistration") + " failed: " + HResultText(hr));
    std::fprintf(stderr, "%s %s in %s\n", doRegister ? "registered" : "unregistered", module.Path().c_str(),
                 RegistryDirectory().c_str());
    return 0;
}
