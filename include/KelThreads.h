/// \file
/// How many threads a caller may run.
#pragma once

#include "KelPortExport.h"

/// The number of threads granted for a request of \p maxThrs_: here, all of them, whatever
/// the number.
KELPORT_API int KelMaxThreads(int maxThrs_);
