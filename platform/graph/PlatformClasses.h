#pragma once
// Makes the runtime's own classes creatable with CoCreateInstance: the filter graph
// (CLSID_FilterGraph), the filter mapper (CLSID_FilterMapper2) and the memory
// allocator (CLSID_MemoryAllocator). Safe to call more than once and from several
// threads; a class already in the table stays as it is. The first failure is returned.
#include "platform/com/ComTypes.h"

HRESULT RegisterPlatformClasses();
