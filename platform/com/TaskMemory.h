#pragma once
#include <cstddef>

// The task allocator: memory that one module allocates and another frees (media
// types' format blocks, texts handed out through interfaces).
void* CoTaskMemAlloc(size_t size);
void* CoTaskMemRealloc(void* block, size_t size);
void CoTaskMemFree(void* block);  // null is fine
