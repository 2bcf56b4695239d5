/// \file
/// Loading shared libraries at run time, in the shape of the POSIX calls.
#pragma once

#include "KelPortExport.h"

/// Loads a shared library by file name or path (dlopen on POSIX systems, LoadLibraryA on
/// Windows). A library that cannot be loaded is reported as a sick error (-220451) and gives
/// null; the caller goes on. \p mode is accepted and has no effect.
KELPORT_API HINSTANCE KelDLOpen(const char* sharedLibFileName, int mode);
/// The address of an exported name of a loaded library, or null, reported as a sick error
/// (-220409), when the library has no such name.
KELPORT_API void* KelDLSym(HINSTANCE sharedLibHandle, const char* symbolName);
/// Always null: no loading error is kept.
KELPORT_API char* KelDLError();
/// Releases a library: 0 when a handle was given, whether or not the system released it;
/// -1 for null.
KELPORT_API int KelDLClose(HINSTANCE sharedLibHandle);
