#include "host/KestrelModule.h"

#include <climits>
#include <cstdio>
#include <unistd.h>

std::string KestrelModule::DefaultPath() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return kFileName;
    std::string path(exe, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string beside = dir + kFileName;
#ifdef KESTREL_MODULE_INSTALL_DIR
    // Installed, the module sits in the library directory, relative to the program's.
    if (access(beside.c_str(), F_OK) != 0) return dir + KESTREL_MODULE_INSTALL_DIR "/" + kFileName;
#endif
    return beside;
}

bool KestrelModule::Load(const std::string& given) {
    const std::string path = given.empty() ? DefaultPath() : given;
    path_ = path;
    // A bare name would go through the library search; the host means this file.
    std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    library_ = LoadLibraryA(target.c_str());
    if (!library_) {
        error_ = "cannot load the module " + path + ": " + LastLibraryError();
        return false;
    }
    getClassObject_ = reinterpret_cast<GetClassObjectFn>(GetProcAddress(library_, "DllGetClassObject"));
    registerServer_ = reinterpret_cast<PlainFn>(GetProcAddress(library_, "DllRegisterServer"));
    unregisterServer_ = reinterpret_cast<PlainFn>(GetProcAddress(library_, "DllUnregisterServer"));
    if (!getClassObject_ || !registerServer_ || !unregisterServer_) {
        error_ = "the module " + path + " lacks the exports of a filter module";
        return false;
    }
    return true;
}

HRESULT KestrelModule::CreateFilter(ComPtr<IBaseFilter>* filter) {
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject_(CLSID_TSFeedFilter, IID_IClassFactory,
                                 reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter->ReleaseAndGetAddressOf()));
}

HRESULT KestrelModule::CreateObject(REFCLSID clsid, REFIID iid, void** object) {
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject_(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, object);
}

HRESULT KestrelModule::Register() { return registerServer_(); }

HRESULT KestrelModule::Unregister() { return unregisterServer_(); }
