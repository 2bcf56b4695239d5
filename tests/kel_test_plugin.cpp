// A small library for the dynamic-loading tests to load.
#include "KelPortPlatform.h"

extern "C" KELPORT_EXPORT int kel_test_answer()
{
    return 42;
}
