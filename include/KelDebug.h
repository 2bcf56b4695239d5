/// \file
/// The debug trace: the level that a program raises to see the library's traces, and the sink
/// that hands them to the tracing library.
#pragma once

#include "KelPortExport.h"

/// The debug level, 0 at first. A program raises it, normally once at start-up, to see the
/// library's traces: 1 shows sick error reports, 2 adds a few traces such as those of dynamic
/// loading, 4 or more shows every trace. 0 and negative values show none. What the tracing
/// library records of them is configured in it.
extern KELPORT_API int __Kelvora_Debug_Level;

/// Hands a trace text to the tracing library: to the memory-usage trace object for level 6,
/// to the general one ("ZeltaDiscovery") for any other level. The text is only read, and only
/// during the call.
KELPORT_API void genZADTrace(char* buf, int theLevel);

/// Writes the top of the heap on standard output, as " [sbrk] top of heap is 0x..." at any
/// debug level.
KELPORT_API void printMemoryUsage();
