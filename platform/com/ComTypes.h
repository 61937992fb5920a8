#pragma once
// The desktop platform's basic types and result codes, kept with their usual names so
// that code written against that platform reads the same here.
#include "platform/system/PlainTypes.h"
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <string>
#include <optional>

using HRESULT = int32_t;

// The groups guarded by a *_DEFINED macro are declared alike by the feed plug-in SDK;
// whichever header a translation unit includes first declares them.
#ifndef COM_RESULT_CODES_DEFINED
#define COM_RESULT_CODES_DEFINED
constexpr HRESULT MakeHResult(uint32_t v) { return static_cast<HRESULT>(v); }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
#endif

constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
constexpr HRESULT E_HANDLE = MakeHResult(0x80070006u);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHResult(0x800401F8u);
constexpr HRESULT STG_E_READFAULT = MakeHResult(0x8003001Eu);
constexpr HRESULT STG_E_WRITEFAULT = MakeHResult(0x8003001Du);
constexpr HRESULT STG_E_MEDIUMFULL = MakeHResult(0x80030070u);

// Win32 error codes carried in an HRESULT (FACILITY_WIN32).
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t err) {
    return err == 0 ? S_OK : MakeHResult((err & 0xFFFFu) | 0x80070000u);
}

#ifndef GUID_DEFINED
#define GUID_DEFINED
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
    friend bool operator<(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};
#endif
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::string GuidToString(REFGUID g);
// Accepts the braced form (either case); nullopt for anything else.
std::optional<GUID> GuidFromString(const std::string& text);
