#pragma once
// Registration of a module's classes: each template as an in-process server under
// HKEY_CLASSES_ROOT\CLSID\{clsid} (default value: the template name; subkey
// InprocServer32 with the module path and ThreadingModel "Both"), and each template
// with setup data as a filter with the filter mapper.
#include "platform/graph/CFactoryTemplate.h"
#include <string>

// Registering stops at the first failure and returns it, having written nothing.
// Unregistering removes what it can and returns the first failure; what is already gone
// is not a failure. Each is one locked, atomic change of the store.
HRESULT AMovieDllRegisterServer2(BOOL doRegister, const CFactoryTemplate* templates, int count,
                                 const std::string& modulePath);

HRESULT AMovieSetupRegisterServer(REFCLSID clsid, LPCWSTR name, const std::string& modulePath,
                                  const char* threadingModel = "Both");
HRESULT AMovieSetupUnregisterServer(REFCLSID clsid);
// The setup data as a filter of the legacy filter category.
HRESULT AMovieSetupRegisterFilter2(const AMOVIESETUP_FILTER* setup, IFilterMapper2* mapper, BOOL doRegister);
