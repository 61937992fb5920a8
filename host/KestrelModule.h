#pragma once
#include <string>

#include "filter/TSFeedInterfaces.h"
#include "host/ErrorText.h"
#include "platform/com/Unknown.h"
#include "platform/graph/Interfaces.h"
#include "platform/system/Library.h"

// The module as a host sees it: a library with four exports.
class KestrelModule {
public:
    static constexpr const char* kFileName = "Kestrel.ax";

    // Beside the running executable, else in the installed library directory.
    static std::string DefaultPath();

    // An empty path: DefaultPath(). False with Error() set when the library or an
    // export is missing.
    bool Load(const std::string& path);
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }

    HRESULT CreateFilter(ComPtr<IBaseFilter>* filter);
    // Any other class the module serves (its property page, for one).
    HRESULT CreateObject(REFCLSID clsid, REFIID iid, void** object);
    HRESULT Register();
    HRESULT Unregister();

private:
    using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
    using PlainFn = HRESULT (*)();

    std::string path_;
    std::string error_;
    HMODULE library_ = nullptr;
    GetClassObjectFn getClassObject_ = nullptr;
    PlainFn registerServer_ = nullptr;
    PlainFn unregisterServer_ = nullptr;
};
