/// \file
/// Process creation and identity.
#pragma once

#include "KelPortExport.h"

/// The system's fork, its result unchanged: the child's id in the parent, 0 in the child, -1
/// on failure. Windows has no fork: there it is -1 with errno ENOSYS. Traced once, before the
/// fork.
KELPORT_API int KelFork();

/// The calling process's id.
KELPORT_API int KelGetPid();
