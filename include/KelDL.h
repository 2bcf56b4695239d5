// Loading shared libraries at run time, in the shape of the POSIX calls. A library that
// cannot be loaded and a symbol that is not there are reported as sick errors, and the
// caller gets null.
#pragma once

#include "KelPortExport.h"

// mode is accepted and has no effect.
KELPORT_API HINSTANCE KelDLOpen(const char* sharedLibFileName, int mode);
KELPORT_API void* KelDLSym(HINSTANCE sharedLibHandle, const char* symbolName);
// Always null: no loading error is kept.
KELPORT_API char* KelDLError();
// 0 when a handle was given, whether or not the platform released it; -1 for null.
KELPORT_API int KelDLClose(HINSTANCE sharedLibHandle);
