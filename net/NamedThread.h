#pragma once
// Worker threads of the network feeds: started with a numeric priority level and a
// name that shows in debuggers and process listings.
#include <cstdint>

#include "platform/system/Thread.h"

using NetThreadEntry = unsigned (*)(void* argument);

// The numeric levels callers pass; any value not listed runs at normal priority
// (the feeds pass 50).
using ThreadPriorityLevel = int;
constexpr ThreadPriorityLevel kThreadLevelIdle = 10;
constexpr ThreadPriorityLevel kThreadLevelLowest = 20;
constexpr ThreadPriorityLevel kThreadLevelBelowNormal = 30;
constexpr ThreadPriorityLevel kThreadLevelNormal = 50;
constexpr ThreadPriorityLevel kThreadLevelAboveNormal = 60;
constexpr ThreadPriorityLevel kThreadLevelHighest = 100;
constexpr ThreadPriorityLevel kThreadLevelTimeCritical = 230;

constexpr intptr_t kNoThread = -1;

// 10 idle, 20 lowest, 30 and 40 below normal, 60 above normal, 100 highest,
// 230 time critical, anything else normal.
ThreadPriority PriorityForLevel(ThreadPriorityLevel level);

// Starts a detached thread that sets its own priority relative to the process's (a
// raise that is not permitted leaves it where it is), takes the name (cut to the 15
// characters this platform keeps) and runs entry(argument). Returns the thread's
// kernel id, or kNoThread when it could not be started.
intptr_t CreateNamedThread(NetThreadEntry entry, ThreadPriorityLevel level, void* argument, const char* name);
