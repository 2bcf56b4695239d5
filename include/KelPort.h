// Everything the library offers.
#pragma once

#include "CKelError.h"
#include "KelDebug.h"
#include "KelGlobals.h"
