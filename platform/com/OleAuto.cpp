#include "platform/com/OleAuto.h"
#include "platform/com/WideString.h"
#include <cstdlib>
#include <limits>

namespace {
// The byte count sits just before the text, as the desktop's BSTR keeps it.
uint32_t* Header(BSTR text) { return reinterpret_cast<uint32_t*>(text) - 1; }
}  // namespace

BSTR SysAllocStringLen(const WCHAR* text, UINT length) {
    if (length > (std::numeric_limits<uint32_t>::max() - 8) / sizeof(WCHAR) / 2) return nullptr;
    size_t bytes = sizeof(uint32_t) + (size_t{length} + 1) * sizeof(WCHAR);
    auto* block = static_cast<uint32_t*>(std::malloc(bytes));
    if (!block) return nullptr;
    block[0] = length * sizeof(WCHAR);
    BSTR s = reinterpret_cast<BSTR>(block + 1);
    if (text)
        std::memcpy(s, text, length * sizeof(WCHAR));
    else
        std::memset(s, 0, length * sizeof(WCHAR));
    s[length] = 0;
    return s;
}

BSTR SysAllocString(const WCHAR* text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(WideLength(text)));
}

void SysFreeString(BSTR text) {
    if (text) std::free(Header(text));
}

UINT SysStringLen(BSTR text) { return text ? *Header(text) / sizeof(WCHAR) : 0; }

void VariantInit(VARIANT* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_POINTER;
    if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dst, const VARIANT* src) {
    if (!dst || !src) return E_POINTER;
    VariantClear(dst);
    switch (src->vt) {
    case VT_BSTR: {
        BSTR copy = src->bstrVal ? SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal)) : nullptr;
        if (src->bstrVal && !copy) return E_OUTOFMEMORY;
        dst->vt = VT_BSTR;
        dst->bstrVal = copy;
        return S_OK;
    }
    case VT_EMPTY:
    case VT_I4:
    case VT_UI4:
    case VT_BOOL:
        *dst = *src;
        return S_OK;
    default:
        return DISP_E_BADVARTYPE;
    }
}
