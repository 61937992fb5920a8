#include "platform/system/Library.h"
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace {
thread_local std::string t_libraryError;

void Remember(const char* fallback) {
    const char* e = dlerror();
    t_libraryError = e ? e : fallback;
}

std::string Absolute(const char* path) {
    char resolved[PATH_MAX];
    if (realpath(path, resolved)) return resolved;
    return path;
}
}  // namespace

HMODULE LoadLibraryA(const char* name) {
    if (!name || !*name) {
        t_libraryError = "no library name given";
        return nullptr;
    }
    HMODULE m = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (m) return m;
    Remember("cannot load library");
    // A bare name is also looked for beside this library, as the desktop platform looks
    // beside the application: an installed tree keeps its libraries together, and the
    // runpath that says so is not consulted when a sanitizer's dlopen stands in between.
    if (!std::strchr(name, '/')) {
        std::string self = ModulePathOfAddress(reinterpret_cast<const void*>(&Remember));
        size_t slash = self.rfind('/');
        if (slash != std::string::npos) m = dlopen((self.substr(0, slash + 1) + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    return m;
}

HMODULE GetModuleHandleA(const char* name) {
    // dlopen with RTLD_NOLOAD takes a reference like any open; give it back at once,
    // since the module stays loaded through whoever loaded it first.
    HMODULE m = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (!m) {
        Remember("module not loaded");
        return nullptr;
    }
    dlclose(m);
    return m;
}

void* GetProcAddress(HMODULE module, const char* symbol) {
    if (!module || !symbol) {
        t_libraryError = "no module or symbol given";
        return nullptr;
    }
    dlerror();
    void* p = dlsym(module, symbol);
    if (!p) Remember("symbol not found");
    return p;
}

bool FreeLibrary(HMODULE module) {
    if (!module) {
        t_libraryError = "no module given";
        return false;
    }
    if (dlclose(module) != 0) {
        Remember("cannot unload library");
        return false;
    }
    return true;
}

std::string LastLibraryError() { return t_libraryError; }

std::string ModulePathOfAddress(const void* addr) {
    Dl_info info{};
    link_map* map = nullptr;
    if (!addr || !dladdr1(addr, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP)) return {};
    // The main program has no name of its own in the link map; dladdr would report
    // argv[0], which may be relative to a directory we have since left.
    if (!map || !map->l_name || !*map->l_name) return Absolute("/proc/self/exe");
    return Absolute(map->l_name);
}
