#pragma once
// Automation strings and variants as the tuning model and property bags pass them.
// Only the variant kinds that those interfaces carry are supported.
#include "platform/com/ComTypes.h"

// Length-prefixed, zero-terminated UTF-16 text; a null BSTR is the empty text.
using BSTR = WCHAR*;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_UI4 = 19;

constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005u);
constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008u);

// Same member offsets as the desktop layout: type, three reserved words, the value.
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        ULONG ulVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        LONGLONG llVal;
    };
};

BSTR SysAllocString(const WCHAR* text);
BSTR SysAllocStringLen(const WCHAR* text, UINT length);
void SysFreeString(BSTR text);  // null is fine
UINT SysStringLen(BSTR text);

void VariantInit(VARIANT* v);
// Frees what the variant owns (its text) and leaves it empty.
HRESULT VariantClear(VARIANT* v);
// dst is cleared first; a text is copied.
HRESULT VariantCopy(VARIANT* dst, const VARIANT* src);
