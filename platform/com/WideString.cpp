#include "platform/com/WideString.h"
#include "platform/com/TaskMemory.h"
#include <algorithm>

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
}  // namespace

size_t WideLength(const WCHAR* s) {
    if (!s) return 0;
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

void WideCopy(WCHAR* dst, size_t capacity, const WCHAR* src) {
    if (!dst || capacity == 0) return;
    const size_t n = std::min(WideLength(src), capacity - 1);
    std::copy(src, src + n, dst);
    dst[n] = 0;
}

int WideCompare(const WCHAR* a, const WCHAR* b) {
    static const WCHAR empty = 0;
    if (!a) a = &empty;
    if (!b) b = &empty;
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return static_cast<int>(*a) - static_cast<int>(*b);
}

bool WideEqual(const WCHAR* a, const WCHAR* b) { return WideCompare(a, b) == 0; }

std::string WideToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (IsHigh(u) && i + 1 < s.size() && IsLow(s[i + 1])) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHigh(u) || IsLow(u)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::string WideToUtf8(const WCHAR* s) { return WideToUtf8(std::u16string_view(s ? s : u"", WideLength(s))); }

std::u16string WideFromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        int extra;
        char32_t c;
        char32_t min;
        if (b0 < 0x80) {
            out += static_cast<char16_t>(b0);
            ++i;
            continue;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1, c = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, c = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, c = b0 & 0x07, min = 0x10000;
        } else {
            out += static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= s.size() || (static_cast<unsigned char>(s[j]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(s[j]) & 0x3F);
        }
        // Overlong forms, surrogate code points and values past U+10FFFF are not text.
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += static_cast<char16_t>(kReplacement);
            i = j;  // resume at the byte that broke the sequence
            continue;
        }
        AppendUtf16(out, c);
        i = j;
    }
    return out;
}

HRESULT AMGetWideString(const WCHAR* s, WCHAR** copy) {
    if (!copy) return E_POINTER;
    const size_t bytes = (WideLength(s) + 1) * sizeof(WCHAR);
    *copy = static_cast<WCHAR*>(CoTaskMemAlloc(bytes));
    if (!*copy) return E_OUTOFMEMORY;
    WideCopy(*copy, bytes / sizeof(WCHAR), s);
    return S_OK;
}
