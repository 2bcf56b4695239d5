// The debug trace. A program raises __Kelvora_Debug_Level to see the library's traces:
// 1 shows sick error reports, 2 adds a few traces such as those of dynamic loading, 4 or
// more shows every trace. What the tracing library records is configured in it.
#pragma once

#include "KelPortExport.h"

extern KELPORT_API int __Kelvora_Debug_Level;

// Hands buf to the memory-usage trace object for level 6, to the general one otherwise.
KELPORT_API void genZADTrace(char* buf, int theLevel);

// Writes the top of the heap on standard output.
KELPORT_API void printMemoryUsage();
