// Process creation and identity.
#pragma once

#include "KelPortExport.h"

// The platform's fork, its result unchanged.
KELPORT_API int KelFork();

KELPORT_API int KelGetPid();
