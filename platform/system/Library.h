#pragma once
#include <string>

using HMODULE = void*;

// A name without a slash goes through the normal library search, then this library's
// own directory; symbols stay local.
HMODULE LoadLibraryA(const char* name);
// null name: the main program; otherwise an already loaded library (no load happens).
HMODULE GetModuleHandleA(const char* name);
void* GetProcAddress(HMODULE module, const char* symbol);
bool FreeLibrary(HMODULE module);
// Why the last LoadLibraryA/GetProcAddress/FreeLibrary on this thread failed.
std::string LastLibraryError();
// Absolute path of the executable or shared object that contains addr; empty if none.
std::string ModulePathOfAddress(const void* addr);
