#pragma once
// UTF-16 text helpers for pin, filter and file names (WCHAR is char16_t here).
#include "platform/com/ComTypes.h"
#include <string>
#include <string_view>

// Length in code units; a null pointer counts as empty.
size_t WideLength(const WCHAR* s);
// Copies at most capacity - 1 units and always terminates (capacity 0 writes nothing).
void WideCopy(WCHAR* dst, size_t capacity, const WCHAR* src);
// Code-unit comparison, <0, 0 or >0; null compares as empty.
int WideCompare(const WCHAR* a, const WCHAR* b);
bool WideEqual(const WCHAR* a, const WCHAR* b);
// Ill-formed input (bad UTF-8, lone surrogates) becomes U+FFFD rather than failing.
std::string WideToUtf8(std::u16string_view s);
std::string WideToUtf8(const WCHAR* s);
std::u16string WideFromUtf8(std::string_view s);
// A copy in task-allocator memory that the caller frees with CoTaskMemFree.
HRESULT AMGetWideString(const WCHAR* s, WCHAR** copy);
