// KELPORT_API marks the names that the library exports; everything else stays inside it.
// Callers see them imported, so that a caller's write to an exported variable is the
// library's read.
#pragma once

#include "KelPortPlatform.h"

#if defined(KELPORT_BUILDING)
#  define KELPORT_API KELPORT_EXPORT
#else
#  define KELPORT_API KELPORT_IMPORT
#endif
