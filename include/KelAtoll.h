/// \file
/// Decimal text to a signed 64-bit integer, by the library's own rules.
#pragma once

#include "KelPortExport.h"

/// The number that a decimal text gives, by the library's rules, the same on every system:
/// only blanks and tabs lead; a minus sign counts only as the first character after them;
/// every other character that is not a digit is passed over, up to the terminating zero; the
/// arithmetic wraps modulo 2 to the 64th. A text without digits gives 0.
///
/// Example: `KelAtoll("  -1,234")` is -1234, `KelAtoll("18446744073709551615")` is -1.
KELPORT_API long long KelAtoll(const char* inputStr);
