/// \file
/// How the library's exported names are marked.
#pragma once

#include "KelPortPlatform.h"

#if defined(KELPORT_BUILDING)
#  define KELPORT_API KELPORT_EXPORT
#else
/// Marks the names that the library exports; everything else stays inside it. Callers see
/// them imported, so that a caller's write to an exported variable is the library's read.
#  define KELPORT_API KELPORT_IMPORT
#endif
