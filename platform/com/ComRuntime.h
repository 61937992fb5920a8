#pragma once
// Object creation: classes registered in process, then in-process servers registered
// under HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32.
#include "platform/com/TaskMemory.h"
#include "platform/com/Unknown.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9u);
constexpr HRESULT CO_E_OBJISREG = MakeHResult(0x800401FBu);
constexpr HRESULT CO_E_OBJNOTREG = MakeHResult(0x800401FCu);

// The server entry point, as exported by an in-process server library.
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);

// Holds a reference to the factory until revoked. A class registers once at a time:
// CO_E_OBJISREG while it is registered, CO_E_OBJNOTREG when revoking what is not.
HRESULT CoRegisterClassFactory(REFCLSID clsid, IClassFactory* factory);
HRESULT CoRevokeClassFactory(REFCLSID clsid);
// REGDB_E_CLASSNOTREG for an unknown class; CO_E_DLLNOTFOUND when its library does not
// load; CO_E_ERRORINDLL when the library has no DllGetClassObject.
HRESULT CoGetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, void** ppv);
