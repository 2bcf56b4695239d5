// Decimal text to a signed 64-bit integer, by the library's own rules: only blanks and tabs
// lead; a minus sign counts only as the first character after them; every other character
// that is not a digit is passed over, up to the terminating zero; the arithmetic wraps
// modulo 2 to the 64th.
#pragma once

#include "KelPortExport.h"

KELPORT_API long long KelAtoll(const char* inputStr);
