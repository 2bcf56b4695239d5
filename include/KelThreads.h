// How many threads a caller may run.
#pragma once

#include "KelPortExport.h"

// The number of threads granted for a request of maxThrs_: on this platform, all of them.
KELPORT_API int KelMaxThreads(int maxThrs_);
