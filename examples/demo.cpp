// What a caller sees of the library's diagnostics: a trace record, an information report
// and the heap top, with the debug level raised as a program of the product raises it.
#include <cstdio>

#include "KelPort.h"

// Standard output is flushed before each trace so that, piped, the lines keep their order.
static void Say(const char* line)
{
    std::puts(line);
    std::fflush(stdout);
}

int main()
{
    __Kelvora_Debug_Level = 4;

    Say("A trace record, as every call of the library writes it at debug level 4:");
    char text[] = "KelPort demonstration: tracing is on\n";
    genZADTrace(text, 4);

    Say("An information report (code -220459), traced because the level is at least 4:");
    CKelError info(-220459, "../demo", __LINE__, "the descriptor was closed");

    Say("The heap top, which is always written to standard output:");
    printMemoryUsage();
    return 0;
}
